"""The verification suite: `verify_batch`, `verify_gcode`, `verify_roundtrip`."""

import json
import os
import subprocess
import sys
import threading
import time

import pytest

import _tolm
from lo_plans import extrude, layer, program, square_outline, travel

LO_PREFIX = (
    "expected a LOW-LEVEL program JSON (layers of toolpaths, e.g. from lower_to_json() or parse_gcode()); "
)
CANDIDATE_PREFIX = "invalid candidate program JSON; "

A = extrude([(0, 0), (3000, 0)])
B = extrude([(0, 1000), (0, 4000), (2000, 4000)], width=300, role="Infill")
REFERENCE = program(layer(200, A, B), square_outline(0, 0, 2000, z_um=400))


def stripes(layers=40, lines=60):
    """A larger plan: layers of parallel extrusions."""
    return program(*[
        layer(200 * (k + 1), *[extrude([(0, y * 400), (40000, y * 400)]) for y in range(lines)])
        for k in range(layers)
    ])


# ---------------------------------------------------------------------------------------------
# verify_batch


@pytest.mark.parametrize(
    "candidate, expected",
    [
        pytest.param(REFERENCE, True, id="same-text"),
        pytest.param(program(layer(200, B, A), square_outline(0, 0, 2000, z_um=400)), True,
                     id="toolpaths-reordered"),
        pytest.param(program(layer(200, extrude([(3000, 0), (0, 0)]), travel([(1, 1), (9, 9)], 900), B),
                             square_outline(0, 0, 2000, z_um=400)), True, id="reversed-plus-travel"),
        pytest.param(program(layer(200, A, B), square_outline(0, 0, 2000, z_um=400), layer(600)), False,
                     id="extra-empty-layer"),
        pytest.param(program(square_outline(0, 0, 2000, z_um=400), layer(200, A, B)), False,
                     id="layers-swapped"),
        pytest.param(program(layer(200, A, B), square_outline(0, 0, 2000, z_um=401)), False, id="other-z"),
        pytest.param(program(layer(200, A), square_outline(0, 0, 2000, z_um=400)), False, id="missing-path"),
        pytest.param(program(layer(200, A, B, A), square_outline(0, 0, 2000, z_um=400)), True,
                     id="duplicate-path-same-occupancy"),
        pytest.param(program(layer(200, A, B)), False, id="fewer-layers"),
    ],
)
def test_candidate_flags(candidate, expected):
    assert _tolm.verify_batch([candidate], REFERENCE) == [expected]


def test_results_keep_candidate_order():
    wrong = program(layer(200, A))
    candidates = [REFERENCE, wrong, REFERENCE, wrong, wrong, REFERENCE]
    assert _tolm.verify_batch(candidates, REFERENCE) == [True, False, True, False, False, True]
    assert _tolm.verify_batch(tuple(candidates), REFERENCE, 200) == [True, False, True, False, False, True]


def test_resolution_changes_only_the_rasterization():
    # A 50 µm nudge is invisible at 1 mm cells but not at 10 µm cells.
    nudged = program(layer(200, extrude([(0, 50), (3000, 50)]), B), square_outline(0, 0, 2000, z_um=400))
    assert _tolm.verify_batch([nudged], REFERENCE, 10) == [False]
    assert _tolm.verify_batch([nudged], REFERENCE, resolution_um=1000) == [True]


def test_empty_batch_still_reads_the_reference():
    assert _tolm.verify_batch([], REFERENCE) == []
    with pytest.raises(ValueError) as info:
        _tolm.verify_batch([], "{")
    assert str(info.value).startswith(LO_PREFIX)


def test_bad_reference_is_reported_before_bad_candidates():
    with pytest.raises(ValueError) as info:
        _tolm.verify_batch(["[", "{}"], "{}")
    message = str(info.value)
    assert message.startswith(LO_PREFIX) and "layers" in message


def test_first_bad_candidate_is_reported():
    with pytest.raises(ValueError) as info:
        _tolm.verify_batch([REFERENCE, '{"layers": [{"z_um": 1.5, "toolpaths": []}]}', "{"], REFERENCE)
    message = str(info.value)
    assert message.startswith(CANDIDATE_PREFIX)
    assert not message.startswith(CANDIDATE_PREFIX + "expected")
    assert "line 1" in message and "column" in message


@pytest.mark.parametrize(
    "candidates",
    [pytest.param("abc", id="str"), pytest.param([REFERENCE, 5], id="non-str-element"),
     pytest.param(None, id="none"), pytest.param(b"x", id="bytes")],
)
def test_candidates_must_be_a_sequence_of_str(candidates):
    with pytest.raises(TypeError):
        _tolm.verify_batch(candidates, REFERENCE)


def test_lock_is_released_during_a_long_batch():
    plan = stripes()
    candidates = [plan] * 48
    state = {}

    def worker():
        state["start"] = time.perf_counter()
        state["result"] = _tolm.verify_batch(candidates, plan)
        state["end"] = time.perf_counter()

    thread = threading.Thread(target=worker)
    stamps = []
    thread.start()
    while thread.is_alive():
        stamps.append(time.perf_counter())
    thread.join()
    assert state["result"] == [True] * len(candidates)
    duration = state["end"] - state["start"]
    assert duration > 0.2, "batch too short to observe the lock"
    inside = [t for t in stamps if state["start"] <= t <= state["end"]]
    # Holding the lock would stop this thread for the whole call; released, it keeps running.
    assert len(inside) > 100
    gaps = [b - a for a, b in zip(inside, inside[1:])]
    assert max(gaps, default=duration) < duration / 2


def test_one_worker_gives_identical_results(tmp_path):
    plan = stripes(layers=6, lines=10)
    candidates = [plan, REFERENCE, program(*json.loads(plan)["layers"][::-1]), plan]
    script = tmp_path / "one_worker.py"
    script.write_text(
        "import json, os, sys\n"
        "os.sched_setaffinity(0, {0})\n"
        "import _tolm\n"
        "args = json.load(sys.stdin)\n"
        "print(json.dumps(_tolm.verify_batch(args['candidates'], args['reference'])))\n"
    )
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    result = subprocess.run(
        [sys.executable, str(script)], input=json.dumps({"candidates": candidates, "reference": plan}),
        capture_output=True, text=True, env=env, check=True,
    )
    assert json.loads(result.stdout) == _tolm.verify_batch(candidates, plan) == [True, False, False, True]
