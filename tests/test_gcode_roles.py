"""Feature roles from slicer comments, and bead widths from width comments or estimates."""

import json

import pytest

import _tolm

MOVE = "G1 X0 Y0\nG1 X10 Y0 E0.5\n"


def parse(text):
    program_json, diagnostics_json = _tolm.parse_gcode(text)
    return json.loads(program_json), json.loads(diagnostics_json)


def roles_of(text):
    """Roles of the extrusion toolpaths, with the role diagnostics."""
    program, diagnostics = parse(";WIDTH:0.4\n" + text)
    roles = [
        t["kind"]["Extrude"] for layer in program["layers"] for t in layer["toolpaths"] if t["kind"] != "Travel"
    ]
    return roles, diagnostics["fallback_role_moves"], diagnostics["unknown_roles"]


TAGS = [
    ("Perimeter", "Perimeter"),
    ("External perimeter", "Perimeter"),
    ("Overhang perimeter", "Perimeter"),
    ("Overhang wall", "Perimeter"),
    ("Inner wall", "Perimeter"),
    ("Outer wall", "Perimeter"),
    ("WALL-OUTER", "Perimeter"),
    ("WALL-INNER", "Perimeter"),
    ("Floating vertical shell", "Perimeter"),
    ("Floating interface shell", "Perimeter"),
    ("Internal infill", "Infill"),
    ("Sparse infill", "Infill"),
    ("Gap fill", "Infill"),
    ("Gap infill", "Infill"),
    ("GAP-FILL", "Infill"),
    ("FILL", "Infill"),
    ("Solid infill", "Skin"),
    ("Internal solid infill", "Skin"),
    ("Top solid infill", "Skin"),
    ("Top surface", "Skin"),
    ("Bottom surface", "Skin"),
    ("Bridge infill", "Skin"),
    ("Internal Bridge", "Skin"),
    ("Bridge", "Skin"),
    ("BRIDGE", "Skin"),
    ("SKIN", "Skin"),
    ("SOLID-FILL", "Skin"),
    ("Ironing", "Skin"),
    ("Support", "Support"),
    ("SUPPORT", "Support"),
    ("Support material", "Support"),
    ("Support material interface", "Support"),
    ("Support interface", "Support"),
    ("SUPPORT-INTERFACE", "Support"),
    ("Support transition", "Support"),
]


@pytest.mark.parametrize("prefix", [";TYPE:", "; FEATURE: "])
@pytest.mark.parametrize("tag, role", TAGS)
def test_tag_table(prefix, tag, role):
    assert roles_of(prefix + tag + "\n" + MOVE) == ([role], 0, [])


@pytest.mark.parametrize(
    "line, tag",
    [
        (";TYPE:Skirt/Brim", "Skirt/Brim"),
        (";TYPE:Wipe tower", "Wipe tower"),
        (";TYPE:SKIRT", "SKIRT"),
        (";TYPE:Custom", "Custom"),
        (";TYPE:perimeter", "perimeter"),  # names are case-sensitive
        (";TYPE:Perimeters", "Perimeters"),
        ("; FEATURE: Skirt", "Skirt"),
        (";TYPE:", ""),
    ],
)
def test_unrecognised_tags_fall_back_to_perimeter(line, tag):
    assert roles_of(line + "\n" + MOVE) == (["Perimeter"], 1, [tag])


def test_extrusion_before_any_role_comment():
    assert roles_of(MOVE) == (["Perimeter"], 1, ["<no ;TYPE:>"])


@pytest.mark.parametrize(
    "line",
    [";TYPE:  Internal infill  ", ";TYPE:\tInternal infill\r", "; FEATURE:\u00a0Internal infill\u3000"],
)
def test_tags_are_trimmed(line):
    assert roles_of(line + "\n" + MOVE) == (["Infill"], 0, [])


def test_each_fallback_move_counts_and_tags_are_recorded_once_in_byte_order():
    text = ";TYPE:Skirt/Brim\n" + MOVE + "G1 X20 E1\n;TYPE:Custom\nG1 X30 E1.5\n;TYPE:Skirt/Brim\nG1 X40 E2\n"
    roles, fallbacks, unknown = roles_of(text)
    assert fallbacks == 4
    assert unknown == ["Custom", "Skirt/Brim"]


BARE = [
    ("; perimeter", "Perimeter"),
    ("; external perimeter", "Perimeter"),
    ("; overhang perimeter", "Perimeter"),
    ("; outer perimeter", "Perimeter"),
    ("; inner perimeter", "Perimeter"),
    ("; infill", "Infill"),
    ("; internal infill", "Infill"),
    ("; sparse infill", "Infill"),
    ("; solid infill", "Skin"),
    ("; solid layer", "Skin"),
    ("; top infill", "Skin"),
    ("; top solid infill", "Skin"),
    ("; bridge", "Skin"),
    ("; bridge infill", "Skin"),
    ("; support", "Support"),
    ("; dense support", "Support"),
    ("; support material", "Support"),
    ("; support material interface", "Support"),
]


@pytest.mark.parametrize("comment, role", BARE)
def test_bare_comment_table(comment, role):
    assert roles_of(comment + "\n" + MOVE) == ([role], 0, [])


@pytest.mark.parametrize(
    "comment, tag",
    [("; brim", "brim"), ("; skirt", "skirt"), ("; prime pillar", "prime pillar")],
)
def test_neutral_bare_comments_fall_back_with_their_text(comment, tag):
    # A neutral comment ends the previous role: the extrusion after it falls back.
    assert roles_of(";TYPE:Internal infill\n" + comment + "\n" + MOVE) == (["Perimeter"], 1, [tag])


@pytest.mark.parametrize(
    "comment",
    [
        "; Perimeter",  # case-sensitive
        "; infill ",  # the whole comment must match
        ";infill",
        "; gap fill",
        "; process Process1",
        "; tool H0.200 W0.480",
        "; ",
        ";",
    ],
)
def test_other_comments_change_nothing(comment):
    assert roles_of(";TYPE:Internal infill\n" + comment + "\n" + MOVE) == (["Infill"], 0, [])


@pytest.mark.parametrize(
    "comment, role",
    [
        ("; 'Perimeter Path', 0.5 [feed mm/s], 30.0 [head mm/s]", "Perimeter"),
        ("; 'Loop Path', 1.2 [feed mm/s]", "Perimeter"),
        ("; 'Crown', 1.2 [feed mm/s]", "Perimeter"),
        ("; 'Solid Path', 2.0 [feed mm/s]", "Skin"),
        ("; 'Infill'", "Infill"),
        ("; 'Sparse Infill Path'", "Infill"),
        ("; 'Stacked Sparse Infill Path', 1", "Infill"),
        ("; 'Support Path'", "Support"),
        ("; 'Support Interface Path'", "Support"),
        ("; 'Loop", "Perimeter"),  # no closing apostrophe: the name runs to the end
    ],
)
def test_quoted_path_names(comment, role):
    assert roles_of(comment + "\n" + MOVE) == ([role], 0, [])


@pytest.mark.parametrize(
    "comment, tag",
    [
        ("; 'Skirt Path', 1.0 [feed mm/s]", "Skirt Path"),
        ("; 'Destring/Wipe/Jump Path'", "Destring/Wipe/Jump Path"),
        ("; 'Raft'", "Raft"),
        ("; 'perimeter Path'", "perimeter Path"),
        ("; 'Path'", "Path"),
        ("; 'Loop Path Path'", "Loop Path Path"),  # only one final " Path" is removed
        ("; ''", "''"),
        ("; 'ab", "'ab"),  # shorter than 6 bytes: the tag is the comment without "; "
        ("; '", "'"),
    ],
)
def test_neutral_quoted_paths_record_their_names(comment, tag):
    assert roles_of(";TYPE:Internal infill\n" + comment + "\n" + MOVE) == (["Perimeter"], 1, [tag])


def test_layer_marker_clears_a_bare_role():
    text = "; infill\n" + MOVE + "; layer 2, Z = 0.4\nG1 X20 E1\n"
    assert roles_of(text) == (["Infill", "Perimeter"], 1, ["<no ;TYPE:>"])


# --- widths ----------------------------------------------------------------------------------


def widths_of(text):
    program, diagnostics = parse(";TYPE:Perimeter\n" + text)
    widths = [t["width_um"] for layer in program["layers"] for t in layer["toolpaths"] if t["kind"] != "Travel"]
    return widths, diagnostics["estimated_width_moves"]


@pytest.mark.parametrize(
    "head, move, widths, estimated",
    [
        (";HEIGHT:0.2\n", "G1 X10 E0.3326", [400], 1),  # 0.3326 * A / (10 * 0.2) * 1000 = 399.99
        (";HEIGHT:0.2\n", "G1 X10 E0.5", [round(0.5 * 2.405281875404685 / 2 * 1000)], 1),
        ("; LAYER_HEIGHT: 0.25\n", "G1 X10 E0.5", [round(0.5 * 2.405281875404685 / 2.5 * 1000)], 1),
        (";Layer height: 0.25\n", "G1 X10 E0.5", [round(0.5 * 2.405281875404685 / 2.5 * 1000)], 1),
        ("", "G1 X10 E0.5", [400], 1),  # no height: 400
        (";HEIGHT:0\n", "G1 X10 E0.5", [400], 1),  # heights must be above 0
        (";HEIGHT:-0.2\n", "G1 X10 E0.5", [400], 1),
        (";HEIGHT:abc\n", "G1 X10 E0.5", [400], 1),
        (";HEIGHT:0.2\n;HEIGHT:nan\n", "G1 X10 E0.5", [601], 1),  # an unusable height keeps the last
        (";HEIGHT:0.2\n", "G1 X10 E1e-300", [], 0),  # no extrusion: nothing estimated
        (";HEIGHT:1e-300\n", "G1 X10 E1e300", [400], 1),  # not finite: 400
        (";HEIGHT:0.2\n", "G1 X0.001 E1e-5", [120], 1),  # (1e-5 * A) / (0.001 * 0.2) * 1000
        (";HEIGHT:0.2\n;WIDTH:0.42\n", "G1 X10 E0.5", [420], 0),
        ("; LINE_WIDTH: 0.42\n", "G1 X10 E0.5", [420], 0),
        (";WIDTH: 0.42 \n", "G1 X10 E0.5", [420], 0),
        (";WIDTH:0.0004\n", "G1 X10 E0.5", [400], 1),  # below half a micron: not above 0
    ],
)
def test_width_for(head, move, widths, estimated):
    assert widths_of(head + move + "\n") == (widths, estimated)


def test_estimate_uses_the_plane_length_in_millimetres():
    # A 3-4-5 move: length 5 mm.
    widths, _ = widths_of(";HEIGHT:0.2\nG1 X3 Y4 E0.5\n")
    assert widths == [round(0.5 * 2.405281875404685 / (5 * 0.2) * 1000)]
