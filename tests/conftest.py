"""Shared fixtures: the real slicer G-code corpus beside the checkout."""

import os
import pathlib

import pytest

CORPUS_DIR = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "corpus" / "gcode"


def corpus_files():
    """The corpus G-code files, or [] when the corpus is not beside this checkout."""
    if not CORPUS_DIR.is_dir():
        return []
    return sorted(CORPUS_DIR.glob("*.gcode"))


def require_corpus():
    """Skip when the corpus is absent (a user's own clone); in CI its absence is a failure."""
    if corpus_files():
        return
    message = f"G-code corpus not found at {CORPUS_DIR}"
    if os.environ.get("CI", "").lower() == "true":
        pytest.fail(message + " (required in CI)")
    pytest.skip(message)


@pytest.fixture
def corpus():
    """List of corpus file paths (skips, or fails in CI, when absent)."""
    require_corpus()
    return corpus_files()


def corpus_params():
    """Corpus file paths for parametrize; a single placeholder that skips when absent."""
    files = corpus_files()
    if files:
        return [pytest.param(path, id=path.name) for path in files]
    return [pytest.param(None, id="corpus-missing")]


@pytest.fixture
def corpus_file(request):
    """Use with `@pytest.mark.parametrize("corpus_file", corpus_params(), indirect=True)`."""
    if request.param is None:
        require_corpus()
    return request.param


def _register_hypothesis_profiles():
    try:
        from hypothesis import HealthCheck, settings
    except ImportError:  # hypothesis is part of the test extra; plain tests still run without it
        return
    # This machine is noisy: no per-example deadline.
    settings.register_profile("default", deadline=None)
    # Under the sanitizers every example is many times slower.
    settings.register_profile(
        "sanitize",
        deadline=None,
        max_examples=15,
        suppress_health_check=[HealthCheck.too_slow],
    )
    settings.load_profile(os.environ.get("TOLM_HYPOTHESIS_PROFILE", "default"))


_register_hypothesis_profiles()
