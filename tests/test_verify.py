"""The verification suite: `verify_batch`, `verify_gcode`, `verify_roundtrip`."""

import json
import os
import subprocess
import sys
import threading
import time

import pytest

import _tolm
from conftest import corpus_params
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
        layer(200 * (k + 1), *[extrude([(0, y * 400), (20000, y * 400), (40000, y * 400)]) for y in range(lines)])
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


POLY = [(0, 0), (2000, 0), (2000, 1500), (0, 1500)]


@pytest.mark.parametrize(
    "candidate, expected",
    [
        pytest.param([extrude(POLY, 400, "Skin", flow=2.0), travel([(5, 5), (6, 6)], 900)], True,
                     id="role-flow-travel-ignored"),
        pytest.param([extrude(POLY[::-1], 400)], True, id="reversed"),
        pytest.param([extrude(POLY[:3]), extrude(POLY[2:])], True, id="split-at-vertex"),
        pytest.param([extrude(POLY), extrude(POLY[::-1])], True, id="drawn-twice"),
        pytest.param([extrude(POLY), extrude([])], True, id="extra-empty-path"),
        pytest.param([extrude(POLY, 600)], False, id="wider"),
        pytest.param([extrude(POLY, 401)], True, id="one-micron-wider-same-cells"),
        pytest.param([extrude(POLY[:3])], False, id="shorter"),
        pytest.param([extrude([(0, 0), (2000, 0), (2000, 1500), (0, 1800)])], False, id="one-point-moved"),
    ],
)
def test_same_material_is_judged_by_cells_not_by_toolpaths(candidate, expected):
    reference = program(layer(200, extrude(POLY, 400)))
    assert _tolm.verify_batch([program(layer(200, *candidate))], reference, 200) == [expected]
    # The occupancy agrees with the verdict.
    same = _tolm.occupancy(program(layer(200, *candidate))) == _tolm.occupancy(reference)
    assert same is expected


@pytest.mark.parametrize(
    "reference, candidate",
    [
        pytest.param([extrude([(0, 0)], 0)], [extrude([(0, 0), (0, 0)], -3)], id="point-vs-zero-segment"),
        pytest.param([extrude([(0, 0), (900, 0), (900, 900)], 300)],
                     [extrude([(900, 900), (900, 0)], 300), extrude([(0, 0), (900, 0), (0, 0)], 300)],
                     id="segments-shared-across-paths"),
        pytest.param([extrude([(0, 0), (900, 0)], 300), extrude([(0, 0), (900, 0)], 500)],
                     [extrude([(0, 0), (900, 0)], 500)], id="narrower-copy-inside-wider"),
    ],
)
def test_batch_verdict_matches_occupancy(reference, candidate):
    ref, cand = program(layer(200, *reference)), program(layer(200, *candidate))
    expected = _tolm.occupancy(ref) == _tolm.occupancy(cand)
    assert _tolm.verify_batch([cand], ref) == [expected]
    assert _tolm.verify_batch([ref], cand) == [expected]


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
    # Every stripe drawn once more, narrower: a capsule inside one already drawn, so the same
    # material from other capsules, and every layer of every candidate is rasterized.
    doubled = program(*[
        dict(entry, toolpaths=entry["toolpaths"] + [dict(t, width_um=300) for t in entry["toolpaths"]])
        for entry in json.loads(plan)["layers"]
    ])
    expected = True
    candidates = [doubled] * 48
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
    assert state["result"] == [expected] * len(candidates)
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


# ---------------------------------------------------------------------------------------------
# verify_gcode

DIAGNOSTIC_KEYS = [
    "lines", "layers", "extruding_toolpaths", "travel_toolpaths", "unknown_roles", "fallback_role_moves",
    "estimated_width_moves", "zero_length_extrudes", "arcs_flattened", "skipped_g91_moves", "overflow_skips",
    "skipped_codes",
]
FLAGS = ["pass_preserves_denotation", "pass_preserves_deposit", "translation_invariant"]

TRAVEL_ONLY_GCODE = "G21\nG90\nM83\n;LAYER_CHANGE\n;Z:0.2\nG0 X10 Y10\nG0 X20 Y10\n"
SCATTERED_GCODE = (
    "G21\nG90\nM83\n;LAYER_CHANGE\n;Z:0.2\n;TYPE:Perimeter\n;WIDTH:0.4\n"
    "G0 X8 Y0\nG1 X8.1 Y0 E0.01\nG0 X2 Y0\nG1 X2.1 Y0 E0.01\nG0 X6.1 Y0\nG1 X6 Y0 E0.01\n"
    ";LAYER_CHANGE\n;Z:0.4\nG0 X5 Y5\nG1 X0 Y0 E0.2\nG1 X0 Y5 E0.2\n"
)


TINY_GCODE = "G21\nG90\nM83\n;LAYER_CHANGE\n;Z:0.2\n;TYPE:Skin\n;WIDTH:0.05\nG0 X1 Y1\nG1 X1.2 Y1.1 E0.01\n"


def test_verify_gcode_report_form():
    text = _tolm.verify_gcode(TINY_GCODE, -3)
    report = json.loads(text)
    assert list(report) == ["diagnostics", "resolution_um", "has_geometry", *FLAGS]
    assert list(report["diagnostics"]) == DIAGNOSTIC_KEYS
    assert report["diagnostics"] == json.loads(_tolm.parse_gcode(TINY_GCODE)[1])
    assert report["resolution_um"] == -3
    assert report["has_geometry"] is True
    assert all(report[flag] is True for flag in FLAGS)
    assert text.startswith('{\n  "diagnostics": {\n    "lines": ')


@pytest.mark.parametrize(
    "gcode, has_geometry",
    [
        pytest.param("", False, id="empty-text"),
        pytest.param(TRAVEL_ONLY_GCODE, False, id="travels-only"),
        pytest.param("this is not G-code\nG1 X(oops\nM999\n", False, id="garbage"),
        pytest.param(SCATTERED_GCODE, True, id="scattered-strokes"),
    ],
)
def test_verify_gcode_flags(gcode, has_geometry):
    report = json.loads(_tolm.verify_gcode(gcode))
    assert report["has_geometry"] is has_geometry
    assert report["resolution_um"] == 200
    assert all(report[flag] is True for flag in FLAGS)


@pytest.mark.parametrize("res", [1, 0, 137, 1000])
def test_verify_gcode_echoes_the_resolution(res):
    report = json.loads(_tolm.verify_gcode(TINY_GCODE, resolution_um=res))
    assert report["resolution_um"] == res
    assert all(report[flag] is True for flag in FLAGS)


def test_verify_gcode_argument_errors():
    with pytest.raises(TypeError, match="gcode"):
        _tolm.verify_gcode(b"G1 X1")
    with pytest.raises(TypeError, match="resolution_um"):
        _tolm.verify_gcode("", "200")


# ---------------------------------------------------------------------------------------------
# verify_roundtrip

ROUND_TRIP_KEYS = ["resolution_um", "has_geometry", "occupancy_preserved", "deposit_preserved"]


def roundtrip(plan, res=200):
    text = _tolm.verify_roundtrip(plan, res)
    report = json.loads(text)
    assert list(report) == ROUND_TRIP_KEYS
    return report


def test_roundtrip_of_the_lowered_demo_square():
    assert roundtrip(_tolm.lower_to_json(_tolm.demo_square_json())) == {
        "resolution_um": 200, "has_geometry": True, "occupancy_preserved": True, "deposit_preserved": True}


@pytest.mark.parametrize(
    "plan",
    [
        pytest.param(REFERENCE, id="two-layers"),
        pytest.param(program(layer(200, extrude([(0, 0), (1000, 0)]), extrude([(0, 0), (1000, 0)]))),
                     id="same-path-twice"),
        pytest.param(program(layer(200, extrude([(-5000, -3000), (-1000, -200)], 350, "Skin", flow=0.04))),
                     id="negative-with-flow"),
        pytest.param(program(layer(400, extrude([(0, 0), (1000, 0)])), layer(200, extrude([(0, 0), (0, 900)]))),
                     id="descending-z"),
        pytest.param(program(layer(200, travel([(0, 0), (3000, 0)]), extrude([(3000, 0), (4000, 0)], 450, "Support"))),
                     id="leading-travel"),
    ],
)
def test_roundtrip_preserves_plain_plans(plan):
    report = roundtrip(plan)
    assert report["has_geometry"] and report["occupancy_preserved"] and report["deposit_preserved"]


def test_roundtrip_sees_stacked_paths_merged_by_the_parser():
    # Two extrusions of one role meeting end to start are emitted without a travel and read back
    # as one toolpath: the same cells, but the joint's cells lose their second covering path.
    plan = program(layer(200, extrude([(0, 0), (1000, 0)]), extrude([(1000, 0), (1000, 1000)])))
    report = roundtrip(plan)
    assert report["occupancy_preserved"] is True
    assert report["deposit_preserved"] is False


@pytest.mark.parametrize(
    "plan",
    [
        pytest.param(program(layer(200, extrude([(0, 0), (1000, 0)])), layer(400)), id="trailing-empty-layer"),
        pytest.param(program(layer(200, extrude([(0, 0), (1000, 0)])), layer(400, travel([(0, 0), (5, 5)]))),
                     id="travel-only-layer"),
        pytest.param(program(layer(200, extrude([(500, 500)]))), id="single-point-extrusion"),
        pytest.param(program(layer(200, extrude([(0, 0), (0, 0)]))), id="zero-length-extrusion"),
        pytest.param(program(layer(200, extrude([(0, 0), (1000, 0)], 0))), id="zero-width"),
    ],
)
def test_roundtrip_detects_what_emission_cannot_carry(plan):
    # The parser opens layers at their first extrusion, so a layer without one does not come
    # back; an extrusion that moves nowhere is no toolpath; a width of 0 is not read back (the
    # parser estimates one). Both flags compare by layer position.
    report = roundtrip(plan)
    assert report["has_geometry"] is True
    assert report["occupancy_preserved"] is False
    assert report["deposit_preserved"] is False


@pytest.mark.parametrize(
    "plan, has_geometry",
    [
        pytest.param(program(), False, id="no-layers"),
        pytest.param(program(layer(200, travel([(0, 0), (1000, 0)]))), False, id="travels-only"),
        pytest.param(program(layer(200, extrude([]))), True, id="empty-extrusion"),
    ],
)
def test_roundtrip_has_geometry(plan, has_geometry):
    assert roundtrip(plan)["has_geometry"] is has_geometry


def test_roundtrip_echoes_the_resolution():
    small = program(layer(200, extrude([(0, 0), (300, 0), (300, 120)], 60)))
    assert roundtrip(small, 0)["resolution_um"] == 0
    assert roundtrip(small, -10) == {"resolution_um": -10, "has_geometry": True, "occupancy_preserved": True,
                                      "deposit_preserved": True}


def test_roundtrip_read_error():
    with pytest.raises(ValueError) as info:
        _tolm.verify_roundtrip('{"layers": [{"z_um": 200}]}')
    message = str(info.value)
    assert message.startswith(LO_PREFIX) and "toolpaths" in message and " at line " in message


# ---------------------------------------------------------------------------------------------
# The real corpus


@pytest.mark.parametrize("corpus_file", corpus_params(), indirect=True)
def test_corpus_verifies_end_to_end(corpus_file):
    text = corpus_file.read_text(encoding="utf-8", errors="replace")
    report = json.loads(_tolm.verify_gcode(text))
    assert all(report[flag] is True for flag in FLAGS), report
    program_json, diagnostics = _tolm.parse_gcode(text)
    assert report["diagnostics"] == json.loads(diagnostics)
    trip = json.loads(_tolm.verify_roundtrip(program_json))
    assert trip["has_geometry"] is report["has_geometry"]
    assert trip["occupancy_preserved"] is True
    assert trip["deposit_preserved"] is True


@pytest.mark.parametrize(
    "name, doc",
    [
        ("preserves_within",
         "Whether two programs (JSON) deposit the same material within `epsilon_um` (worst nearest-miss)."),
        ("check_self_lowering_sound",
         "Does lowering the given HIGH-LEVEL program (JSON) preserve the deposited material at this\n"
         "resolution (microns)?"),
        ("demo_self_lowering_sound", "Is the demo square's lowering denotation-preserving at this resolution?"),
        ("demo_travel_order",
         "Demonstrate the travel-order pass: `(sound, travel_before_mm, travel_after_mm)`."),
        ("verify_gcode",
         "Verify slicer G-code end to end: parse it, then check that a Tolm pass preserves the deposited\n"
         "material and that the geometry is translation-invariant. Returns a JSON report."),
        ("verify_roundtrip",
         "Emit an (optimized) low-level move plan (JSON, as returned by `lower_to_json`) to G-code, re-parse\n"
         "it, and check the deposited material is preserved. The lo->G-code emitter is outside the verified\n"
         "boundary, so run this before trusting emitted G-code (e.g. an RL agent's output). Returns a JSON\n"
         "report with `occupancy_preserved` / `deposit_preserved`."),
        ("verify_batch",
         "Verify a batch of candidate programs (list of JSON) against a reference (JSON) by deposited\n"
         "material, in parallel with the GIL released. Returns one bool per candidate."),
    ],
)
def test_docstrings(name, doc):
    assert getattr(_tolm, name).__doc__ == doc


# ---------------------------------------------------------------------------------------------
# Laws over random plans

from hypothesis import given, settings, strategies as st  # noqa: E402

coordinate = st.integers(-2000, 2000)
random_toolpath = st.one_of(
    st.builds(lambda pts, w: extrude(pts, w), st.lists(st.tuples(coordinate, coordinate), max_size=4),
              st.sampled_from([0, 300, 400])),
    st.builds(lambda pts: travel(pts), st.lists(st.tuples(coordinate, coordinate), min_size=2, max_size=2)),
)
random_plan = st.lists(
    st.builds(lambda z, tps: layer(z, *tps), st.sampled_from([200, 400]), st.lists(random_toolpath, max_size=4)),
    max_size=3,
)


def reordered(plan_layers, seed):
    """The same layers with toolpaths rotated and every other extrusion reversed."""
    out = []
    for entry in plan_layers:
        tps = entry["toolpaths"]
        k = seed % len(tps) if tps else 0
        tps = tps[k:] + tps[:k]
        tps = [dict(t, path={"points": t["path"]["points"][::-1]}) if n % 2 else t for n, t in enumerate(tps)]
        out.append(dict(entry, toolpaths=tps))
    return out


@settings(max_examples=50, deadline=None)
@given(a=random_plan, b=random_plan, seed=st.integers(0, 7))
def test_verify_batch_is_equality_of_occupancy(a, b, seed):
    a_json, b_json = program(*a), program(*b)
    shuffled = program(*reordered(a, seed))
    expected_b = _tolm.occupancy(a_json) == _tolm.occupancy(b_json)
    assert _tolm.verify_batch([b_json, shuffled, a_json], a_json) == [expected_b, True, True]
