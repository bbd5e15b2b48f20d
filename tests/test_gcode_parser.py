"""The G-code parser: lines, comments, words, commands, moves, layers, toolpaths, diagnostics."""

import json
import math

import pytest

import _tolm

DIAGNOSTIC_MEMBERS = [
    "lines",
    "layers",
    "extruding_toolpaths",
    "travel_toolpaths",
    "unknown_roles",
    "fallback_role_moves",
    "estimated_width_moves",
    "zero_length_extrudes",
    "arcs_flattened",
    "skipped_g91_moves",
    "overflow_skips",
    "skipped_codes",
]

# A tagged first layer: the default context of most snippets below.
HEAD = ";LAYER_CHANGE\n;Z:0.2\n;HEIGHT:0.2\n;TYPE:Perimeter\n;WIDTH:0.45\n"


def parse(text):
    program_json, diagnostics_json = _tolm.parse_gcode(text)
    return json.loads(program_json), json.loads(diagnostics_json)


def toolpaths(program):
    return [t for layer in program["layers"] for t in layer["toolpaths"]]


def points(toolpath):
    return [(p["x"], p["y"]) for p in toolpath["path"]["points"]]


def extrusions(program):
    return [t for t in toolpaths(program) if t["kind"] != "Travel"]


def single_extrusion(text):
    program, diagnostics = parse(text)
    paths = extrusions(program)
    assert len(paths) == 1, paths
    return paths[0], diagnostics


# --- the function and its result -------------------------------------------------------------


def test_result_is_two_pretty_json_texts_with_diagnostics_in_member_order():
    program_json, diagnostics_json = _tolm.parse_gcode(HEAD + "G1 X1 Y1\nG1 X2 Y1 E0.1\nM104 S200\n")
    assert isinstance(program_json, str) and isinstance(diagnostics_json, str)
    assert list(json.loads(diagnostics_json)) == DIAGNOSTIC_MEMBERS
    assert diagnostics_json.startswith('{\n  "lines": 9,\n  "layers": 1,\n')
    assert '  "skipped_codes": [\n    "M104"\n  ]\n}' in diagnostics_json
    assert '"flow_e": 0.1' in program_json and "\t" not in program_json


def test_docstring_and_signature():
    assert _tolm.parse_gcode.__text_signature__ == "(gcode)"
    assert _tolm.parse_gcode.__doc__ == (
        "Parse slicer G-code into the IR. Returns `(program_json, diagnostics_json)`. Never "
        "raises on\nmalformed G-code; it degrades and reports via diagnostics."
    )


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        ((b"G1",), {}, TypeError, "gcode"),
        ((None,), {}, TypeError, "gcode"),
        ((), {}, TypeError, "gcode"),
        (("G1", "G1"), {}, TypeError, "parse_gcode"),
        ((), {"text": "G1"}, TypeError, "text"),
    ],
)
def test_bad_arguments_raise_type_error(args, kwargs, error, message):
    with pytest.raises(error, match=message):
        _tolm.parse_gcode(*args, **kwargs)


def test_keyword_argument_is_accepted():
    assert _tolm.parse_gcode(gcode="") == _tolm.parse_gcode("")


def test_lone_surrogate_raises_the_interpreters_encoding_error():
    with pytest.raises(UnicodeEncodeError, match="surrogate"):
        _tolm.parse_gcode("G1 X1 \ud800")


# --- lines -----------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "text, lines",
    [
        ("", 1),
        ("G28", 1),
        ("G28\n", 2),
        ("\n\n", 3),
        ("G28\r\nG28\r\n", 3),
        ("\r", 1),
        (";only a comment\n; another", 2),
    ],
)
def test_lines_count_pieces_split_at_line_feeds(text, lines):
    assert parse(text)[1]["lines"] == lines


def test_empty_text_gives_no_layers():
    program, diagnostics = parse("")
    assert program == {"layers": []}
    assert diagnostics == {
        **{k: 0 for k in DIAGNOSTIC_MEMBERS},
        "lines": 1,
        "unknown_roles": [],
        "skipped_codes": [],
    }


def test_carriage_returns_at_line_end_are_removed():
    lf = parse(HEAD + "G1 X1 Y1\nG1 X5 Y1 E0.2\n;TYPE:Internal infill\nG1 X5 Y5 E0.4\n")
    crlf = parse((HEAD + "G1 X1 Y1\nG1 X5 Y1 E0.2\n;TYPE:Internal infill\r\r\nG1 X5 Y5 E0.4\n").replace("\n", "\r\n"))
    assert crlf[0] == lf[0]
    assert [t["kind"] for t in extrusions(crlf[0])] == [{"Extrude": "Perimeter"}, {"Extrude": "Infill"}]


# --- comments, parentheses, checksums ---------------------------------------------------------


@pytest.mark.parametrize(
    "line, end",
    [
        ("G1 X5 (move) Y6 E1", (5000, 6000)),
        ("G1 X5 E1 ; Y6 E9", (5000, 0)),
        ("G1 X5 (a (nested ; Y9) still) Y6 E1", (5000, 6000)),
        ("G1 X5 ( ; ) Y6 E1", (5000, 6000)),
        ("G1 X1)5 Y6 E1", (15000, 6000)),  # a stray ')' is dropped, joining the digits
        ("G1 X5 Y6 E1 (unclosed ; Y9", (5000, 6000)),
        ("N12 G1 X5 Y6 E1*71", (5000, 6000)),
        ("G1 X5 Y6 E1*Y9", (5000, 6000)),
        ("G1 X5 E1 * Y6", (5000, 0)),
        ("g1 x5 y6 e1", (5000, 6000)),
    ],
)
def test_comments_parentheses_and_checksums(line, end):
    path, _ = single_extrusion(HEAD + "G1 X0 Y0\n" + line + "\n")
    assert points(path) == [(0, 0), end]


def test_comment_is_interpreted_before_the_code_of_its_line():
    program, _ = parse(HEAD + "G1 X0 Y0\nG1 X5 E1 ;TYPE:Internal infill\n")
    assert extrusions(program)[0]["kind"] == {"Extrude": "Infill"}


def test_semicolon_in_parentheses_starts_no_comment():
    # ";TYPE:..." inside parentheses is dropped, so the role stays Perimeter.
    program, _ = parse(HEAD + "G1 X0 Y0\nG1 X5 E1 (;TYPE:Internal infill)\n")
    assert extrusions(program)[0]["kind"] == {"Extrude": "Perimeter"}


# --- words and numbers -----------------------------------------------------------------------


@pytest.mark.parametrize(
    "line, end, flow",
    [
        ("G1X10Y20E5", (10000, 20000), 5.0),  # upper-case E after digits starts a word
        ("G1 X10 Y20 E.5", (10000, 20000), 0.5),
        ("G1 X1e1 Y2e+1 E5", (10000, 20000), 5.0),  # lower-case e is an exponent
        ("G1 X100e-1 Y20 E5", (10000, 20000), 5.0),
        ("G1 X10 Y20E5", (10000, 20000), 5.0),
        ("G1 X+10 Y-20 E5", (10000, -20000), 5.0),
        ("G1 X10. Y20 E5", (10000, 20000), 5.0),
        ("G1 X10 Y20 E5 X11", (11000, 20000), 5.0),  # a later word overrides
        ("X10 Y20 E5 G1", (10000, 20000), 5.0),  # parameters before the command
        ("G1 X10 Y20 X--5 E5", (10000, 20000), 5.0),  # a malformed number is no parameter
        ("G1 X10 Y20 Xnan E5", (10000, 20000), 5.0),
        ("G1 X10 Y20 X1e999 E5", (10000, 20000), 5.0),
        ("G1 X10 Y20 X1.2.3 E5", (10000, 20000), 5.0),
        ("G1 X10 Y20 X E5", (10000, 20000), 5.0),
        ("G1 X0.0005 Y0.0015 E5", (1, 2), 5.0),  # microns round halves away from zero
        ("G1 X-0.0005 Y-0.0015 E5", (-1, -2), 5.0),
        ("G1 X1e3 Y0.000001e6 E5", (1000000, 1000), 5.0),
    ],
)
def test_words(line, end, flow):
    path, _ = single_extrusion(";TYPE:Perimeter\n;WIDTH:0.4\n" + line + "\n")
    assert points(path) == [(0, 0), end]
    assert path["flow_e"] == flow


def test_upper_case_exponent_in_compact_lines_is_a_new_word():
    # G1E5F50 is G1 with E5, not code G100000: an unretract in place.
    _, diagnostics = parse("G1E5F50\n")
    assert diagnostics["zero_length_extrudes"] == 1
    assert diagnostics["skipped_codes"] == []
    # X1E3 is X 1 with E 3, an extrusion to X 1 mm.
    path, _ = single_extrusion(";TYPE:Perimeter\n;WIDTH:0.4\nG1 X1E3\n")
    assert points(path) == [(0, 0), (1000, 0)]
    assert path["flow_e"] == 3.0


@pytest.mark.parametrize(
    "line, skipped",
    [
        ("M104 S200", ["M104"]),
        ("G28", ["G28"]),
        ("T0", ["T0"]),
        ("M104 S200\nG28\nT0\nG28 X\nM104 S0\nT0", ["G28", "M104", "T0"]),
        ("G4 P100\nG28", ["G28", "G4"]),  # ascending byte order
        ("G10\nG11\nG17\nG18\nG19", []),  # ignored without a record
        ("G-7", ["G-7"]),
        ("M3.6", ["M4"]),  # codes round halves away from zero
        ("G27.5", ["G28"]),
        ("Gnan\nG\nM1e999", []),  # a command number that is not finite: the line is ignored
        ("X10 Y10 F300", []),  # no command
        ("S1 M107 G28", ["M107"]),  # the first G, M or T word is the command
        ("M82 G28", []),
    ],
)
def test_skipped_codes(line, skipped):
    assert parse(line)[1]["skipped_codes"] == skipped


def test_g0_point_six_rounds_to_a_linear_move():
    path, _ = single_extrusion(";TYPE:Perimeter\n;WIDTH:0.4\nG0.6 X5 E1\n")
    assert points(path) == [(0, 0), (5000, 0)]


# --- modes: units, positioning, extrusion, G92, M200 ------------------------------------------


def test_inch_units_scale_coordinates_and_extrusion():
    path, _ = single_extrusion(
        ";TYPE:Perimeter\n;WIDTH:0.4\nG20\nG1 X1 Y1\nG1 X2 Y1 E0.1\nG21\nG1 X60.8 Y25.4 E3\n"
    )
    assert points(path) == [(25400, 25400), (50800, 25400), (60800, 25400)]
    # 0.1 inch of E is 2.54 mm; the absolute E 3 mm adds 0.46 mm.
    assert path["flow_e"] == pytest.approx(3.0)


def test_inch_units_scale_the_layer_z_of_the_first_extrusion():
    program, _ = parse(";TYPE:Perimeter\n;WIDTH:0.4\nG20\nG1 Z0.01\nG1 X1 E0.1\n")
    assert program["layers"][0]["z_um"] == 254


def test_relative_positioning_skips_moves_and_keeps_position_and_e():
    text = HEAD + "G1 X1 Y1\nG91\nG1 X10 E1\nG0 X5\nG2 X1 I1\nG90\nG1 X2 Y1 E0.5\n"
    program, diagnostics = parse(text)
    assert diagnostics["skipped_g91_moves"] == 3
    assert diagnostics["arcs_flattened"] == 0
    (path,) = extrusions(program)
    assert points(path) == [(1000, 1000), (2000, 1000)]
    assert path["flow_e"] == 0.5  # E was not advanced by the skipped move


@pytest.mark.parametrize(
    "mode, moves, flows",
    [
        ("M82", ["G1 X1 E1", "G1 X2 E1.5", "G1 X3 E1.5", "G1 X4 E2.5"], [1.5, 1.0]),
        ("M83", ["G1 X1 E1", "G1 X2 E0.5", "G1 X3 E-0.5", "G1 X4 E1"], [1.5, 1.0]),
        ("", ["G1 X1 E1", "G1 X2 E1.5", "G92 E0", "G1 X3", "G1 X4 E1"], [1.5, 1.0]),
        ("M83", ["G1 X1 E1", "M82", "G1 X2 E1.5", "G1 X3 E1", "G1 X4 E2"], [1.5, 1.0]),
    ],
)
def test_extrusion_modes(mode, moves, flows):
    text = ";TYPE:Perimeter\n;WIDTH:0.4\n" + mode + "\n" + "\n".join(moves) + "\n"
    program, _ = parse(text)
    assert [t["flow_e"] for t in extrusions(program)] == flows


def test_g92_sets_position_for_each_parameter_given():
    path, _ = single_extrusion(";TYPE:Perimeter\n;WIDTH:0.4\nG1 X5 Y5\nG92 X0\nG1 X1 E1\n")
    # The travel to (5, 5) was dropped (no layer yet); the extrusion runs from the new origin.
    assert points(path) == [(0, 5000), (1000, 5000)]


def test_m200_makes_e_a_volume_for_width_estimates():
    moves = ";HEIGHT:0.2\n;TYPE:Perimeter\nG1 X0 Y0\nG1 X10 E0.8\n"
    linear, _ = single_extrusion(moves)
    assert linear["width_um"] == round(0.8 * 2.405281875404685 / (10 * 0.2) * 1000)
    volume, diagnostics = single_extrusion("M200 D1.75\n" + moves)
    assert volume["width_um"] == 400
    assert diagnostics["estimated_width_moves"] == 1
    off, _ = single_extrusion("M200 D1.75\nM200 D0\n" + moves)
    assert off["width_um"] == linear["width_um"]
    ignored, _ = single_extrusion("M200 S1\n" + moves)  # without D nothing changes
    assert ignored["width_um"] == linear["width_um"]


def test_m200_with_another_diameter_sets_the_cross_section():
    # Volumetric E: the cross-section is not used; a later M200 D0 goes back to the new area.
    moves = ";HEIGHT:0.2\n;TYPE:Perimeter\nG1 X0 Y0\nG1 X10 E0.8\n"
    path, _ = single_extrusion("M200 D2.85\nM200 D-1\n" + moves)
    area = (2.85 * 0.5) * math.pi * (2.85 * 0.5)
    assert path["width_um"] == round(0.8 * area / (10 * 0.2) * 1000)


# --- moves -----------------------------------------------------------------------------------


def test_classification_of_moves():
    text = HEAD + "\n".join(
        [
            "G1 X1 Y1",  # travel before any extrusion: dropped
            "G1 E1",  # prime in place: zero-length extrude
            "G1 X2 Y1 E1.5",  # extrusion
            "G1 X2 Y1 E2",  # zero-length extrude
            "G1 E1.2",  # retraction in place: nothing
            "G1 X5 Y5 E0.8",  # moving retraction: travel
            "G1 X6 Y5",  # travel, continues the previous one
            "G1 Z0.6",  # pure Z move: nothing
            "G1 X6 Y5 E0.8000005",  # below the extrusion threshold: nothing
            "G1 X6.0004 Y5 E1",  # moves less than half a micron: zero-length extrude
        ]
    )
    program, diagnostics = parse(text)
    kinds = [(t["kind"], points(t)) for t in toolpaths(program)]
    assert kinds == [
        ({"Extrude": "Perimeter"}, [(1000, 1000), (2000, 1000)]),
        ("Travel", [(2000, 1000), (5000, 5000), (6000, 5000)]),
    ]
    assert diagnostics["zero_length_extrudes"] == 3


def test_travels_have_width_zero_and_no_flow():
    program, diagnostics = parse(HEAD + "G1 X1 E1\nG0 X5\nG1 X6 E2\n")
    travel = toolpaths(program)[1]
    assert travel == {"kind": "Travel", "path": {"points": [{"x": 1000, "y": 0}, {"x": 5000, "y": 0}]}, "width_um": 0}
    assert diagnostics["travel_toolpaths"] == 1 and diagnostics["extruding_toolpaths"] == 2


def test_unconvertible_coordinate_skips_the_move_and_keeps_e():
    text = HEAD + "G1 X1 E1\nG1 X1e16 E5\nG1 X2 E2\n"
    program, diagnostics = parse(text)
    assert diagnostics["overflow_skips"] == 1
    (path,) = extrusions(program)
    assert points(path) == [(0, 0), (1000, 0), (2000, 0)]
    assert path["flow_e"] == 2.0


def test_overflow_limit_is_nine_e18_microns():
    _, below = parse(HEAD + "G1 X8.99e15 E1\n")
    _, at = parse(HEAD + "G1 X9e15 E1\n")
    assert below["overflow_skips"] == 0 and below["extruding_toolpaths"] == 1
    assert at["overflow_skips"] == 1 and at["extruding_toolpaths"] == 0


def test_non_finite_target_is_ignored_silently():
    # 1e308 inches overflow to infinity in millimetres: no counter, no move.
    program, diagnostics = parse(HEAD + "G20\nG1 X1e308 E1\nG21\nG1 X1 E2\n")
    assert diagnostics["overflow_skips"] == 0
    (path,) = extrusions(program)
    assert points(path) == [(0, 0), (1000, 0)]
    assert path["flow_e"] == 2.0


# --- layers ----------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "marker",
    [
        ";LAYER_CHANGE",
        "; CHANGE_LAYER",
        ";AFTER_LAYER_CHANGE",
        ";BEFORE_LAYER_CHANGE",
        ";LAYER:7",
        ";LAYER:",
        "; BEGIN_LAYER_OBJECT",
        "; layer 2",
    ],
)
def test_layer_markers_cut_layers(marker):
    text = HEAD + "G1 X1 E1\n" + marker + "\n;TYPE:Perimeter\nG1 Z0.4\nG1 X2 E2\n"
    program, diagnostics = parse(text)
    assert [layer["z_um"] for layer in program["layers"]] == [200, 400]
    assert diagnostics["layers"] == 2


@pytest.mark.parametrize(
    "comment",
    [
        ";LAYER_CHANGE ",
        ";layer_change",
        ";LAYER_COUNT:10",
        "; layer num/total_layer_count: 1/92",
        "; layer",
        "; layer x",
        ";  layer 3",
        "; END_LAYER_OBJECT",
        "; BEGIN_LAYER_RAFT z=0.50",
    ],
)
def test_comments_that_are_not_layer_markers(comment):
    text = HEAD + "G1 X1 E1\n" + comment + "\nG1 Z0.4\nG1 X2 E2\n"
    program, _ = parse(text)
    assert [layer["z_um"] for layer in program["layers"]] == [200]


@pytest.mark.parametrize(
    "marker, z_um",
    [
        ("; layer 3, Z = 0.6", 600),
        ("; layer 3, Z=0.6", 600),
        ("; layer 3, z =\t 0.65", 650),
        ("; BEGIN_LAYER_OBJECT z=0.20", 200),
        ("; layer 4, Zed=1, z = 0.8", 800),  # the first z with "=" and a number that reads
        ("; layer 4, Z = x, z = 0.8", 800),
        ("; layer 4, Z = 1.2.3 Z = 0.8", 800),
        ("; layer 5, Z = 1e3", 1000),  # the number stops before "e"
        (";LAYER:4 Z = +1.5", 1500),
        ("; layer 6", 999),  # no z: the Z of the first extrusion
    ],
)
def test_layer_marker_z(marker, z_um):
    text = HEAD + "G1 X1 E1\n" + marker + "\n;TYPE:Perimeter\nG1 Z0.999\nG1 X2 E2\n"
    program, _ = parse(text)
    assert [layer["z_um"] for layer in program["layers"]] == [200, z_um]


@pytest.mark.parametrize(
    "comment, z_um",
    [
        (";Z:0.6", 600),
        (";Z: 0.6 ", 600),
        ("; Z_HEIGHT: 0.48", 480),
        (";Z:abc", 999),
        (";Z:inf", 999),
        (";Z:1e16", 999),  # reads, but does not convert: no pending Z
        (";Z:0.6\n;Z:0.8", 800),  # the last one before the layer opens
    ],
)
def test_z_comments_set_the_pending_z(comment, z_um):
    text = HEAD + "G1 X1 E1\n;LAYER_CHANGE\n" + comment + "\n;TYPE:Perimeter\nG1 Z0.999\nG1 X2 E2\n"
    program, _ = parse(text)
    assert [layer["z_um"] for layer in program["layers"]] == [200, z_um]


def test_z_comment_moves_the_position_z():
    # Without a layer marker, ;Z: still sets the position Z that the next extrusion uses.
    program, _ = parse(";TYPE:Perimeter\n;Z:0.3\nG1 X1 E1\n")
    assert program["layers"][0]["z_um"] == 300
    program, _ = parse(";TYPE:Perimeter\n;Z:0.3\n;Z:1e16\nG1 X1 E1\n")
    # The pending Z did not convert and the position Z (1e16 mm) does not either: z_um 0.
    assert program["layers"][0]["z_um"] == 0


def test_layers_open_lazily_at_the_first_extrusion_after_a_marker():
    text = "\n".join(
        [
            ";TYPE:Perimeter",
            ";WIDTH:0.4",
            "G0 X9 Y9",  # leading travel of the first layer: dropped
            "G1 X10 Y9 E1",
            ";LAYER_CHANGE",
            ";Z:0.4",
            "G0 X20 Y20",  # travel after the marker: still the previous layer
            ";TYPE:Perimeter",
            "G1 X21 Y20 E2",
            ";LAYER_CHANGE",
            ";Z:0.6",
            "G0 X0 Y0",  # a marker without extrusions opens no layer
        ]
    )
    program, diagnostics = parse(text)
    assert [layer["z_um"] for layer in program["layers"]] == [0, 400]
    first, second = program["layers"]
    assert [(t["kind"], points(t)) for t in first["toolpaths"]] == [
        ({"Extrude": "Perimeter"}, [(9000, 9000), (10000, 9000)]),
        ("Travel", [(10000, 9000), (20000, 20000)]),
    ]
    # The travel after the last marker still belongs to the open layer.
    assert [points(t) for t in second["toolpaths"]] == [
        [(20000, 20000), (21000, 20000)],
        [(21000, 20000), (0, 0)],
    ]
    assert (diagnostics["layers"], diagnostics["extruding_toolpaths"], diagnostics["travel_toolpaths"]) == (2, 2, 2)


def test_without_markers_there_is_one_layer_at_the_first_extrusions_z():
    text = ";TYPE:Perimeter\n;WIDTH:0.4\nG1 Z0.3\nG1 X1 E1\nG1 Z0.5\nG1 X2 E2\nG1 Z5\nG1 X3 E3\n"
    program, diagnostics = parse(text)
    assert [layer["z_um"] for layer in program["layers"]] == [300]
    assert diagnostics["layers"] == 1


def test_marker_clears_the_role_but_keeps_the_width():
    text = HEAD + "G1 X1 E1\n;LAYER_CHANGE\n;Z:0.4\nG1 X2 E2\n"
    program, diagnostics = parse(text)
    assert [t["width_um"] for t in extrusions(program)] == [450, 450]
    assert [t["kind"] for t in extrusions(program)] == [{"Extrude": "Perimeter"}] * 2
    assert diagnostics["fallback_role_moves"] == 1
    assert diagnostics["unknown_roles"] == ["<no ;TYPE:>"]
    assert diagnostics["estimated_width_moves"] == 0


# --- toolpaths -------------------------------------------------------------------------------


def estimated_move(x_from, x_to, width_um):
    """A move along X whose estimated width (0.2 mm layers) is `width_um`."""
    length = x_to - x_from
    return f"G1 X{x_to} E{width_um / 1000 * length * 0.2 / 2.405281875404685:.9f}"


@pytest.mark.parametrize(
    "second_width, widths",
    [
        (440, [400]),  # allowed 440 * 0.05 + 20 = 42
        (442, [400]),
        (450, [400, 450]),  # allowed 42.5, difference 50
        (360, [400]),  # allowed 400 * 0.05 + 20 = 40, difference 40
        (359, [400, 359]),
    ],
)
def test_estimated_widths_within_tolerance_continue_a_toolpath(second_width, widths):
    text = "M83\n;HEIGHT:0.2\n;TYPE:Perimeter\n" + estimated_move(0, 10, 400) + "\n" + estimated_move(10, 20, second_width) + "\n"
    program, diagnostics = parse(text)
    assert [t["width_um"] for t in extrusions(program)] == widths
    assert diagnostics["estimated_width_moves"] == 2


def test_the_worked_width_estimate_rounds_to_400():
    path, diagnostics = single_extrusion(";HEIGHT:0.2\n;TYPE:Perimeter\nG1 X10 E0.3326\n")
    assert path["width_um"] == 400
    assert diagnostics["estimated_width_moves"] == 1


@pytest.mark.parametrize(
    "second_comment, widths",
    [
        (";WIDTH:0.45", [450]),  # the same width does not cut
        (";WIDTH:0.46", [450, 460]),  # a different width cuts, even within tolerance
        ("; LINE_WIDTH: 0.46", [450, 460]),
        (";WIDTH:0", [450]),  # not above 0: ignored
        (";WIDTH:-1", [450]),
        (";WIDTH:abc", [450]),
        (";WIDTH:inf", [450]),
        (";WIDTH:0.4500004", [450]),  # the same micron value
    ],
)
def test_width_comments_and_the_width_epoch(second_comment, widths):
    text = HEAD + "G1 X1 E1\n" + second_comment + "\nG1 X2 E2\n"
    program, _ = parse(text)
    assert [t["width_um"] for t in extrusions(program)] == widths


def test_a_role_change_cuts_the_toolpath_and_flows_are_summed():
    text = HEAD + "G1 X1 E0.25\nG1 X2 E0.5\n;TYPE:Internal infill\nG1 X3 E1\nG1 X4 E1.5\n"
    program, _ = parse(text)
    assert [(t["kind"], len(points(t)), t["flow_e"]) for t in extrusions(program)] == [
        ({"Extrude": "Perimeter"}, 3, 0.5),
        ({"Extrude": "Infill"}, 3, 1.0),
    ]


def test_a_toolpath_continues_at_its_end_and_a_travel_interrupts_it():
    text = HEAD + "G1 X1 E1\nG1 X2 E2\nG0 X3\nG0 X4\nG1 X5 E3\n"
    program, _ = parse(text)
    assert [(t["kind"], points(t)) for t in toolpaths(program)] == [
        ({"Extrude": "Perimeter"}, [(0, 0), (1000, 0), (2000, 0)]),
        ("Travel", [(2000, 0), (3000, 0), (4000, 0)]),
        ({"Extrude": "Perimeter"}, [(4000, 0), (5000, 0)]),
    ]


def test_emitter_style_text_reads_back_layer_by_layer():
    text = "\n".join(
        [
            "; generated by tolm",
            "G21",
            "G90",
            "M83",
            ";LAYER_CHANGE",
            ";Z:0.2",
            ";HEIGHT:0.2",
            "G0 Z0.200 F9000",
            "G0 X0.000 Y0.000 F9000",
            "G1 E0.80000 F1800",
            ";TYPE:Perimeter",
            ";WIDTH:0.400",
            "G1 X20.000 Y0.000 E0.66520 F1800",
            "G1 X20.000 Y20.000 E0.66520",
            "G1 E-0.80000 F1800",
            ";LAYER_CHANGE",
            ";Z:0.4",
            ";HEIGHT:0.2",
            "G0 Z0.400 F9000",
            "G0 X0.000 Y0.000 F9000",
            "G1 E0.80000 F1800",
            ";TYPE:Internal infill",
            ";WIDTH:0.400",
            "G1 X20.000 Y20.000 E0.9 F1800",
            "",
        ]
    )
    program, diagnostics = parse(text)
    assert [layer["z_um"] for layer in program["layers"]] == [200, 400]
    first, second = program["layers"]
    assert [t["kind"] for t in first["toolpaths"]] == [{"Extrude": "Perimeter"}, "Travel"]
    assert points(first["toolpaths"][0]) == [(0, 0), (20000, 0), (20000, 20000)]
    assert first["toolpaths"][0]["flow_e"] == pytest.approx(1.3304)
    assert points(first["toolpaths"][1]) == [(20000, 20000), (0, 0)]
    assert second["toolpaths"] == [
        {
            "kind": {"Extrude": "Infill"},
            "path": {"points": [{"x": 0, "y": 0}, {"x": 20000, "y": 20000}]},
            "width_um": 400,
            "flow_e": 0.9,
        }
    ]
    assert diagnostics["zero_length_extrudes"] == 2
    assert diagnostics["fallback_role_moves"] == 0
    assert diagnostics["skipped_codes"] == []


# --- bad input -------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "text",
    [
        "1e999",
        "nan",
        "--5",
        "G1 X1e999 Y-1e999 Enan",
        "G1 X--5 E--5",
        ";;;;\n;\n(((\n)))\n",
        "\x00\x01\x02G1\x00X5E1",
        "\ufeffG1 X5 E1",
        "G1 X\u00a05 E\u20131",
        "Ｇ１ Ｘ５",
        "*" * 1000,
        "G2 R0 E1\nG3 I0 J0 E1\nG2 X1 R-1e308 E2\nG3 X1e-300 I1e-300 E3",
    ],
)
def test_malformed_text_degrades_without_raising(text):
    program, diagnostics = parse(text)
    assert diagnostics["lines"] == text.count("\n") + 1
    assert diagnostics["layers"] == len(program["layers"])


def test_comments_only_give_no_program():
    text = "; generated by hand\n;TYPE:Perimeter\n;LAYER_CHANGE\n;Z:0.2\n;WIDTH:0.4\n(just talk)\n"
    program, diagnostics = parse(text)
    assert program == {"layers": []}
    assert diagnostics["lines"] == 7


def test_a_million_character_line():
    line = "G1 X1 Y1 E1 " + "F1800 " * 200_000
    assert len(line) > 1_000_000
    path, _ = single_extrusion(";TYPE:Perimeter\n;WIDTH:0.4\n" + line + "\nG1 X2 E2\n")
    assert points(path) == [(0, 0), (1000, 1000), (2000, 1000)]
    comment = ";" + "x" * 1_000_000
    program, diagnostics = parse(comment + "\n" + "(" * 1_000_000 + "G1 X1 E1")
    assert program == {"layers": []} and diagnostics["lines"] == 2


def test_random_bytes_decoded_degrade_without_raising():
    import random

    rng = random.Random(1234)
    for _ in range(50):
        data = bytes(rng.randrange(256) for _ in range(rng.randrange(2000)))
        text = data.decode("utf-8", errors="replace")
        program, diagnostics = parse(text)
        assert diagnostics["lines"] == text.count("\n") + 1
        assert diagnostics["layers"] == len(program["layers"])
