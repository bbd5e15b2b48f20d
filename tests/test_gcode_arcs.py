"""G2/G3 arcs: centres from I/J or R, flattening with a 20 µm chord error, degenerate arcs."""

import json
import math

import pytest

import _tolm

HEAD = ";TYPE:Perimeter\n;WIDTH:0.4\n"


def parse(text):
    program_json, diagnostics_json = _tolm.parse_gcode(text)
    return json.loads(program_json), json.loads(diagnostics_json)


def all_toolpaths(program):
    return [t for layer in program["layers"] for t in layer["toolpaths"]]


def points(toolpath):
    return [(p["x"], p["y"]) for p in toolpath["path"]["points"]]


def arc_path(text):
    """The one extrusion toolpath of `text` (which starts at the origin), and the diagnostics."""
    program, diagnostics = parse(HEAD + text)
    (path,) = [t for t in all_toolpaths(program) if t["kind"] != "Travel"]
    return path, diagnostics


def chord_count(radius_um, sweep):
    chord = 2 * math.acos(1 - 20 / radius_um) if radius_um > 20 else sweep
    return min(max(math.ceil(sweep / chord), 1), 4096)


def test_quarter_circle_counter_clockwise():
    path, diagnostics = arc_path("G1 X10 Y0 E1\nG3 X0 Y10 I-10 J0 E2\n")
    arc = points(path)[2:]
    assert len(arc) == 13  # C = 2 acos(0.998) = 0.12651 rad, ceil(1.5708 / C) = 13
    assert arc[-1] == (0, 10000)
    for x, y in arc[:-1]:
        assert abs(math.hypot(x, y) - 10000) <= 1
        assert x > 0 and y > 0
    # Counter-clockwise: the angle grows from 0 to a quarter turn.
    angles = [math.atan2(y, x) for x, y in arc]
    assert angles == sorted(angles)
    assert diagnostics["arcs_flattened"] == 1


def test_chords_stay_within_the_tolerance():
    path, _ = arc_path("G1 X10 Y0 E1\nG3 X-10 Y0 I-10 J0 E2\n")
    arc = points(path)[1:]
    for (x0, y0), (x1, y1) in zip(arc, arc[1:]):
        mid = math.hypot((x0 + x1) / 2, (y0 + y1) / 2)
        assert 10000 - mid <= 20 + 1  # sagitta plus rounding


def test_clockwise_runs_the_other_way():
    ccw, _ = arc_path("G1 X10 Y0 E1\nG3 X-10 Y0 I-10 J0 E2\n")
    cw, _ = arc_path("G1 X10 Y0 E1\nG2 X-10 Y0 I-10 J0 E2\n")
    assert all(y >= 0 for _, y in points(ccw)[1:])
    assert all(y <= 0 for _, y in points(cw)[1:])
    assert any(y > 0 for _, y in points(ccw)) and any(y < 0 for _, y in points(cw))


def test_start_equal_to_end_is_a_full_circle():
    path, _ = arc_path("G1 X10 Y0 E1\nG2 X10 Y0 I-10 J0 E2\n")
    arc = points(path)[2:]
    assert len(arc) == chord_count(10000, 2 * math.pi)
    assert arc[-1] == (10000, 0)


def test_full_circle_without_xy_and_without_e_is_a_travel():
    # BambuStudio writes "G2 I0.5 J0 F300" (a wipe circle).
    program, diagnostics = parse(HEAD + "G1 X5 Y5 E1\nG2 I0.5 J0 F300\n")
    travel = all_toolpaths(program)[1]
    assert travel["kind"] == "Travel"
    assert points(travel)[0] == (5000, 5000) and points(travel)[-1] == (5000, 5000)
    assert len(points(travel)) == 1 + chord_count(500, 2 * math.pi)
    assert diagnostics["arcs_flattened"] == 1


def test_tiny_radius_is_one_chord():
    # Radius 15 µm: a half circle is one chord straight back to the start.
    path, _ = arc_path("G1 X0.03 Y0 E1\nG3 X0 Y0 I-0.015 J0 E2\n")
    assert points(path) == [(0, 0), (30, 0), (0, 0)]


def test_r_form_diameter_chord_runs_clockwise_over_the_top():
    path, _ = arc_path("G2 X10 Y0 R5 E1\n")
    arc = points(path)[1:]
    assert arc[-1] == (10000, 0)
    assert all(y > 0 for _, y in arc[:-1])
    assert all(abs(math.hypot(x - 5000, y) - 5000) <= 1 for x, y in arc)  # centre (5000, 0)
    assert len(arc) == chord_count(5000, math.pi)


@pytest.mark.parametrize(
    "command, radius, long_arc, above",
    [
        ("G2", 10, False, True),
        ("G2", -10, True, True),
        ("G3", 10, False, False),
        ("G3", -10, True, False),
    ],
)
def test_r_sign_chooses_the_short_or_long_arc(command, radius, long_arc, above):
    path, _ = arc_path(f"{command} X10 Y0 R{radius} E1\n")
    arc = points(path)[1:]
    length = sum(math.dist(a, b) for a, b in zip([(0, 0)] + arc, arc))
    half_turn = math.pi * 10000
    assert (length > half_turn) == long_arc
    # The centre is at (5000, ±8660): below for a short clockwise or a long counter-clockwise arc.
    cy = (-1 if (command == "G2") != (radius < 0) else 1) * math.sqrt(10000**2 - 5000**2)
    assert all(abs(math.hypot(x - 5000, y - cy) - 10000) <= 1 for x, y in arc)
    assert all((y > 0) == above for _, y in arc[:-1])


@pytest.mark.parametrize(
    "line",
    [
        "G2 X10 Y0 R4.9 E1",  # chord longer than the diameter
        "G3 X10 Y0 E1",  # neither I, J nor R
        "G2 X10 Y0 Rnan E1",
    ],
)
def test_arcs_without_a_centre_become_straight_segments(line):
    path, diagnostics = arc_path(line + "\n")
    assert points(path) == [(0, 0), (10000, 0)]
    assert diagnostics["arcs_flattened"] == 1


def test_r_form_full_circle_is_not_possible():
    # Start and end coincide: no centre from R, and the single point equals the start.
    program, diagnostics = parse(HEAD + "G1 X1 E1\nG2 X1 Y0 R5 E2\n")
    assert diagnostics["arcs_flattened"] == 1
    assert diagnostics["zero_length_extrudes"] == 1
    assert [points(t) for t in all_toolpaths(program)] == [[(0, 0), (1000, 0)]]


@pytest.mark.parametrize(
    "line, count",
    [
        ("G3 X10000 Y0 I5000 J1e9 E1", None),  # radius 1e12 µm, a small sweep
        ("G2 I1e9 J0 E1", 4096),  # radius 1e12 µm, a full circle: capped
    ],
)
def test_huge_radius_is_capped(line, count):
    path, _ = arc_path(line + "\n")
    arc = points(path)[1:]
    assert len(arc) <= 4096
    if count is not None:
        assert len(arc) == count
        assert arc[-1] == (0, 0)


def test_arc_extrusion_is_one_toolpath_with_the_flow_on_the_arc():
    path, diagnostics = arc_path(";HEIGHT:0.2\nG1 X10 Y0 E1\nG3 X0 Y10 I-10 J0 E2\n")
    assert path["flow_e"] == 2.0
    assert path["kind"] == {"Extrude": "Perimeter"}
    assert diagnostics["fallback_role_moves"] == 0


def test_arc_width_is_estimated_from_the_flattened_length():
    program, diagnostics = parse(";TYPE:Perimeter\n;HEIGHT:0.2\nM83\nG3 X0 Y20 I0 J10 E1\n")
    (path,) = all_toolpaths(program)
    pts = [(0, 0)] + points(path)[1:]
    length_mm = sum(math.dist(a, b) for a, b in zip(pts, pts[1:])) / 1000
    assert path["width_um"] == round(1 * 2.405281875404685 / (length_mm * 0.2) * 1000)
    assert diagnostics["estimated_width_moves"] == 1  # once per arc, not per chord


def test_arc_without_extrusion_is_a_travel_only_in_an_open_layer():
    program, diagnostics = parse(HEAD + "G3 X0 Y20 I0 J10\nG1 X1 Y20 E1\nG3 X1 Y0 I0 J-10\n")
    kinds = [(t["kind"], len(points(t))) for t in all_toolpaths(program)]
    assert kinds[0] == ({"Extrude": "Perimeter"}, 2)  # the first arc had no open layer
    assert kinds[1][0] == "Travel" and kinds[1][1] > 2
    assert diagnostics["arcs_flattened"] == 2


def test_arc_that_rounds_onto_its_start_is_a_zero_length_extrude():
    # Radius 1 µm, a full circle: one chord back to the start, dropped as a repeated point.
    program, diagnostics = parse(HEAD + "G1 X0.002 E1\nG3 I-0.001 J0 E2\n")
    assert [points(t) for t in all_toolpaths(program)] == [[(0, 0), (2, 0)]]
    assert diagnostics["zero_length_extrudes"] == 1
    assert diagnostics["arcs_flattened"] == 1


def test_relative_arc_is_skipped():
    _, diagnostics = parse(HEAD + "G91\nG2 X1 Y1 I1 E1\n")
    assert diagnostics["skipped_g91_moves"] == 1
    assert diagnostics["arcs_flattened"] == 0


def test_arc_overflow_is_skipped():
    _, diagnostics = parse(HEAD + "G2 X1e16 Y0 I1 E1\n")
    assert diagnostics["overflow_skips"] == 1
    assert diagnostics["arcs_flattened"] == 0


def test_inch_arc_scales_the_centre_offsets():
    path, _ = arc_path("G20\nG1 X1 E0.1\nG3 X0 Y1 I-1 J0 E0.2\n")
    arc = points(path)[2:]
    assert arc[-1] == (0, 25400)
    assert all(abs(math.hypot(x, y) - 25400) <= 1 for x, y in arc)
    assert len(arc) == chord_count(25400, math.pi / 2)


def test_inch_r_arc_scales_the_radius():
    path, _ = arc_path("G20\nG2 X1 Y0 R0.5 E0.1\n")
    arc = points(path)[1:]
    assert all(abs(math.hypot(x - 12700, y) - 12700) <= 1 for x, y in arc)


def test_helical_arc_opens_its_layer_at_the_target_z():
    program, _ = parse(HEAD + "G3 X0 Y20 Z0.8 I0 J10 E1\n")
    assert program["layers"][0]["z_um"] == 800
