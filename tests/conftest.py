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
