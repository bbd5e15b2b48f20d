"""Properties of the G-code parser over mutated real lines and random text."""

import json

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import _tolm
from conftest import corpus_files

ALPHABET = "GMTXYZEIJRDFSPN0123456789+-.e ;()*:\t\r\n'=,"
MARKERS = [";LAYER_CHANGE", ";Z:0.4", ";TYPE:Internal infill", ";WIDTH:0.42", "; layer 3, Z = 0.6", "G91", "G90", "G20", "G21", "M83", "M82", "G92 E0", "M200 D1.75"]


def corpus_lines():
    lines = []
    for path in corpus_files():
        text = path.read_bytes().decode("utf-8")
        lines.extend(text.split("\n")[:: 97])  # a spread sample of every file
    return lines or ["G1 X1 Y1 E1", ";LAYER_CHANGE", "G2 X1 Y1 I1 J0 E2"]


LINES = corpus_lines()


@st.composite
def mutated_line(draw):
    line = draw(st.sampled_from(LINES + MARKERS))
    for _ in range(draw(st.integers(0, 3))):
        kind = draw(st.sampled_from(["insert", "delete", "replace", "duplicate"]))
        at = draw(st.integers(0, len(line)))
        if kind == "insert":
            line = line[:at] + draw(st.sampled_from(ALPHABET)) + line[at:]
        elif kind == "delete":
            line = line[:at] + line[at + 1 :]
        elif kind == "replace":
            line = line[:at] + draw(st.sampled_from(ALPHABET)) + line[at + 1 :]
        else:
            line = line[:at] + line[at:] + line[at:]
    return line


gcode_texts = st.one_of(
    st.lists(mutated_line(), max_size=60).map("\n".join),
    st.text(alphabet=ALPHABET, max_size=400),
    st.text(max_size=200),
)


def parse(text):
    program_json, diagnostics_json = _tolm.parse_gcode(text)
    return json.loads(program_json), json.loads(diagnostics_json)


def check_consistent(text, program, diagnostics):
    assert diagnostics["lines"] == text.count("\n") + 1
    assert diagnostics["layers"] == len(program["layers"])
    paths = [t for layer in program["layers"] for t in layer["toolpaths"]]
    travels = [t for t in paths if t["kind"] == "Travel"]
    extrusions = [t for t in paths if t["kind"] != "Travel"]
    assert diagnostics["travel_toolpaths"] == len(travels)
    assert diagnostics["extruding_toolpaths"] == len(extrusions)
    assert all(layer["toolpaths"] for layer in program["layers"])
    assert all(len(t["path"]["points"]) >= 2 for t in paths)
    assert all(t["width_um"] == 0 and "flow_e" not in t for t in travels)
    assert all(t["width_um"] > 0 and "flow_e" in t for t in extrusions)
    for key in ("unknown_roles", "skipped_codes"):
        texts = diagnostics[key]
        assert [s.encode() for s in texts] == sorted({s.encode() for s in texts})
    # A fallback role is counted exactly when some tag (or its absence) was recorded.
    assert (diagnostics["fallback_role_moves"] > 0) == bool(diagnostics["unknown_roles"])
    # Every counted role or width decision belongs to an extrusion that was drawn.
    if not extrusions:
        assert diagnostics["fallback_role_moves"] == 0
        assert diagnostics["estimated_width_moves"] == 0


@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(gcode_texts)
def test_diagnostics_stay_consistent_with_the_program(text):
    program, diagnostics = parse(text)
    check_consistent(text, program, diagnostics)


@settings(max_examples=150, deadline=None)
@given(gcode_texts)
def test_line_endings_do_not_matter(text):
    assert parse(text.replace("\n", "\r\n")) == parse(text)


@settings(max_examples=150, deadline=None)
@given(gcode_texts, st.sampled_from(["; just a note", "(a parenthesised note)", "", "   ", "F1200"]))
def test_lines_without_effect_change_only_the_line_count(text, neutral):
    program, diagnostics = parse(text)
    program2, diagnostics2 = parse(neutral + "\n" + text)
    assert program2 == program
    assert diagnostics2 == {**diagnostics, "lines": diagnostics["lines"] + 1}


@settings(max_examples=100, deadline=None)
@given(st.binary(max_size=600))
def test_random_bytes_decoded_never_raise(data):
    text = data.decode("utf-8", errors="replace")
    program, diagnostics = parse(text)
    check_consistent(text, program, diagnostics)


@pytest.mark.parametrize("text", ["G1 X1 E1\n" * 3, ";TYPE:Skirt\nG1 X1 E1\nG1 X2 E2\n"])
def test_parse_is_deterministic(text):
    assert _tolm.parse_gcode(text) == _tolm.parse_gcode(text)
