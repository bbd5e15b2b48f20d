"""Real slicer G-code: each file reads the way a reader of that file expects."""

import json
import re

import pytest

import _tolm
from conftest import corpus_params

P, I, S, U = "Perimeter", "Infill", "Skin", "Support"
NO_TAG = "<no ;TYPE:>"

# Per file: the regex of its layer markers; the layers printed before the first marker (the
# start code's purge line, or KISSlicer's raft whose "; BEGIN_LAYER_RAFT" is no marker); the regex
# giving each marker's Z (None when markers carry none); the role tags that are not roles (skirts,
# custom start code, rafts; NO_TAG for extrusions before the first tag); the roles printed.
EXPECTED = {
    "bambustudio-cube.gcode": (r"^; CHANGE_LAYER$", 1, r"^; Z_HEIGHT: (\S+)", {"Custom"}, {P, I, S}),
    "cura-legacy-pcb-standoff.gcode": (r"^;LAYER:\d+$", 0, None, {"SKIRT"}, {P, I}),
    "cura-reprap-fwretract-molex.gcode": (r"^;LAYER:\d+$", 0, None, {"SKIRT"}, {P, S}),
    "cura-xyz-calibration-cube.gcode": (r"^;LAYER:\d+$", 1, None, {NO_TAG, "SKIRT"}, {P, I, S}),
    "kisslicer-buttons.gcode": (
        r"^; BEGIN_LAYER_OBJECT",
        0,
        r"^; BEGIN_LAYER_OBJECT z=(\S+)",
        {"Skirt Path"},
        {P, I, S},
    ),
    "kisslicer-thinbox.gcode": (r"^; BEGIN_LAYER_OBJECT", 1, r"^; BEGIN_LAYER_OBJECT z=(\S+)", {"Raft"}, {P}),
    "miraclegrue-20mm-box.gcode": (None, 0, None, set(), set()),  # extrudes on A: no E words
    "prusaslicer-plant-sign.gcode": (
        r"^;LAYER_CHANGE$",
        1,
        r"^;Z:(\S+)",
        {NO_TAG, "Custom", "Skirt/Brim"},
        {P, S},
    ),
    "prusaslicer-spiral-vase.gcode": (
        r"^;LAYER_CHANGE$",
        1,
        r"^;Z:(\S+)",
        {NO_TAG, "Custom", "Skirt/Brim"},
        {P, S},
    ),
    "simplify3d-relative-e-strap.gcode": (r"^; layer \d+,", 0, r"^; layer \d+, Z = (\S+)", set(), {P, I, S}),
    "simplify3d-usb-cable-mount.gcode": (r"^; layer \d+,", 1, r"^; layer \d+, Z = (\S+)", {NO_TAG}, {P, I, S, U}),
    "simplify3d-xyz-calibration-cube.gcode": (
        r"^; layer \d+,",
        1,
        r"^; layer \d+, Z = (\S+)",
        {NO_TAG, "skirt"},
        {P, I, S},
    ),
    "skeinforge-20mm-box.gcode": (None, 1, None, {NO_TAG}, {P}),
    "slic3r-old-desk-cables.gcode": (None, 1, None, {NO_TAG}, {P}),
    "slic3r-prusa-arcwelder-benchy.gcode": (None, 1, None, {NO_TAG}, {P}),
}


@pytest.fixture(scope="module")
def parsed():
    cache = {}

    def get(path):
        if path not in cache:
            text = path.read_bytes().decode("utf-8")
            program_json, diagnostics_json = _tolm.parse_gcode(text)
            cache[path] = (text, json.loads(program_json), json.loads(diagnostics_json))
        return cache[path]

    return get


def lines_of(text):
    return [line.rstrip("\r") for line in text.split("\n")]


@pytest.mark.parametrize("corpus_file", corpus_params(), indirect=True)
def test_layers_follow_the_files_markers(corpus_file, parsed):
    text, program, diagnostics = parsed(corpus_file)
    marker, leading, z_pattern, _, _ = EXPECTED[corpus_file.name]
    lines = lines_of(text)
    markers = sum(1 for line in lines if re.match(marker, line)) if marker else 0
    assert diagnostics["layers"] == len(program["layers"]) == markers + leading
    zs = [layer["z_um"] for layer in program["layers"]]
    if z_pattern:
        marker_zs = [round(float(m.group(1)) * 1000) for line in lines if (m := re.match(z_pattern, line))]
        assert zs[leading:] == marker_zs
    if markers:
        assert zs[leading:] == sorted(zs[leading:])  # these files print bottom-up
        assert all(layer["toolpaths"] for layer in program["layers"])


@pytest.mark.parametrize("corpus_file", corpus_params(), indirect=True)
def test_the_slicers_own_tags_are_recognised(corpus_file, parsed):
    _, program, diagnostics = parsed(corpus_file)
    _, _, _, unknown, roles = EXPECTED[corpus_file.name]
    assert set(diagnostics["unknown_roles"]) == unknown
    assert diagnostics["unknown_roles"] == sorted(diagnostics["unknown_roles"])
    printed = {t["kind"]["Extrude"] for layer in program["layers"] for t in layer["toolpaths"] if t["kind"] != "Travel"}
    assert printed == roles
    if not unknown:
        assert diagnostics["fallback_role_moves"] == 0


@pytest.mark.parametrize("corpus_file", corpus_params(), indirect=True)
def test_arcs_are_counted(corpus_file, parsed):
    text, _, diagnostics = parsed(corpus_file)
    arcs = sum(1 for line in lines_of(text) if re.match(r"^G[23][ \t]", line))
    assert diagnostics["arcs_flattened"] == arcs


@pytest.mark.parametrize("corpus_file", corpus_params(), indirect=True)
def test_diagnostics_agree_with_the_program(corpus_file, parsed):
    text, program, diagnostics = parsed(corpus_file)
    assert diagnostics["lines"] == text.count("\n") + 1
    paths = [t for layer in program["layers"] for t in layer["toolpaths"]]
    travels = [t for t in paths if t["kind"] == "Travel"]
    assert diagnostics["travel_toolpaths"] == len(travels)
    assert diagnostics["extruding_toolpaths"] == len(paths) - len(travels)
    assert all(len(t["path"]["points"]) >= 2 for t in paths)
    assert all(t["width_um"] == 0 and "flow_e" not in t for t in travels)
    assert all(t["width_um"] > 0 and t["flow_e"] > 0 for t in paths if t["kind"] != "Travel")
    assert diagnostics["overflow_skips"] == 0


@pytest.mark.parametrize(
    "name, codes, extra",
    [
        ("cura-reprap-fwretract-molex.gcode", {"M566"}, {"G10", "G11"}),  # firmware retraction: ignored
        ("bambustudio-cube.gcode", {"M1002", "G380"}, set()),
        ("skeinforge-20mm-box.gcode", {"M101", "M103"}, set()),
    ],
)
def test_skipped_codes_of_dialects(corpus, parsed, name, codes, extra):
    path = next(p for p in corpus if p.name == name)
    _, _, diagnostics = parsed(path)
    assert codes <= set(diagnostics["skipped_codes"])
    assert not extra & set(diagnostics["skipped_codes"])


def test_bambu_g91_sections_are_skipped(corpus, parsed):
    path = next(p for p in corpus if p.name == "bambustudio-cube.gcode")
    text, _, diagnostics = parsed(path)
    # Moves inside the relative sections: each G91 is followed by moves before its G90.
    relative = False
    moves = 0
    for line in lines_of(text):
        code = line.split(";")[0].strip()
        if code.startswith("G91"):
            relative = True
        elif code.startswith("G90"):
            relative = False
        elif relative and re.match(r"^G[0-3][ \t]", code):
            moves += 1
    assert moves > 0
    assert diagnostics["skipped_g91_moves"] == moves


def test_kisslicer_widths_are_estimated_from_its_layer_height(corpus, parsed):
    # KISSlicer writes no width comments; without a height comment every estimate is 400 µm.
    path = next(p for p in corpus if p.name == "kisslicer-buttons.gcode")
    _, program, diagnostics = parsed(path)
    widths = {t["width_um"] for layer in program["layers"] for t in layer["toolpaths"] if t["kind"] != "Travel"}
    assert widths == {400}
    assert diagnostics["estimated_width_moves"] > 0


def test_prusaslicer_widths_come_from_width_comments(corpus, parsed):
    path = next(p for p in corpus if p.name == "prusaslicer-plant-sign.gcode")
    text, program, diagnostics = parsed(path)
    written = {round(float(m.group(1)) * 1000) for line in lines_of(text) if (m := re.match(r"^;WIDTH:(\S+)", line))}
    widths = {t["width_um"] for layer in program["layers"] for t in layer["toolpaths"] if t["kind"] != "Travel"}
    # Only the purge line before the first width comment is estimated.
    assert len(widths - written) <= 1
    assert diagnostics["estimated_width_moves"] == 2
