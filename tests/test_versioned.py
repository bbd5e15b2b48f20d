"""Versioned artifacts: export of low-level programs and guarded import."""

import json

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import _tolm

LO_PREFIX = (
    "expected a LOW-LEVEL program JSON (layers of toolpaths, e.g. from lower_to_json() or parse_gcode()); "
)
UNSUPPORTED_2 = (
    "schema version 2 is not supported (this build reads version 1); "
    "migrate the artifact rather than loading it blindly"
)
ROLES = ["Perimeter", "Infill", "Skin", "Support"]
I64_MIN, I64_MAX = -(2**63), 2**63 - 1


def demo_lo():
    return _tolm.lower_to_json(_tolm.demo_square_json())


def envelope(version=1, kind="tolm.lo.program", program=None):
    return json.dumps({"schema_version": version, "kind": kind, "program": {"layers": []} if program is None else program})


def test_export_sorts_program_members_by_name():
    text = _tolm.export_versioned(demo_lo())
    assert text.startswith('{\n  "schema_version": 1,\n  "kind": "tolm.lo.program",\n  "program": {\n    "layers": [\n')
    layer_keys = [line.strip() for line in text.splitlines() if line.startswith('        "')]
    assert layer_keys == ['"toolpaths": [', '"z_um": 200']
    toolpath_keys = [line.strip().split(":")[0] for line in text.splitlines() if line.startswith('            "')]
    assert toolpath_keys == ['"kind"', '"path"', '"width_um"']
    point_keys = [line.strip().split(":")[0] for line in text.splitlines() if line.startswith('                  "')]
    assert point_keys == ['"x"', '"y"'] * 5
    assert json.loads(text)["program"] == json.loads(demo_lo())


def test_export_with_flow_lists_flow_first():
    lo = json.dumps(
        {"layers": [{"z_um": 5, "toolpaths": [{"kind": "Travel", "path": {"points": []}, "width_um": 0, "flow_e": 1.0}]}]}
    )
    text = _tolm.export_versioned(lo)
    toolpath = text[text.index('"toolpaths": [') :]
    keys = [line.strip() for line in toolpath.splitlines()[2:6]]
    assert keys == ['"flow_e": 1.0,', '"kind": "Travel",', '"path": {', '"points": []']
    assert '"width_um": 0' in toolpath


def test_round_trip_of_the_demo_and_empty_programs():
    for lo in (demo_lo(), '{\n  "layers": []\n}'):
        assert _tolm.import_versioned(_tolm.export_versioned(lo)) == lo


@pytest.mark.parametrize(
    "text, message",
    [
        pytest.param(envelope(version=2), UNSUPPORTED_2, id="version-2"),
        pytest.param(envelope(version=2, kind="x"), UNSUPPORTED_2, id="version-checked-before-kind"),
        pytest.param(envelope(version=2, kind="x", program=[1]), UNSUPPORTED_2, id="version-checked-before-payload"),
        pytest.param(
            envelope(version=0),
            "schema version 0 is not supported (this build reads version 1); migrate the artifact rather than loading it blindly",
            id="version-0",
        ),
        pytest.param(
            envelope(version=4294967295),
            "schema version 4294967295 is not supported (this build reads version 1); migrate the artifact rather than loading it blindly",
            id="version-u32-max",
        ),
        pytest.param(envelope(kind="x"), "expected a tolm.lo.program artifact, found x", id="kind-x"),
        pytest.param(envelope(kind="TOLM.lo.program"), "expected a tolm.lo.program artifact, found TOLM.lo.program", id="kind-case"),
        pytest.param(envelope(kind="", program=[1]), "expected a tolm.lo.program artifact, found ", id="kind-before-payload"),
        pytest.param(
            envelope(program={}),
            "malformed versioned artifact: missing field `layers`",
            id="payload-missing-layers-no-position",
        ),
        pytest.param(
            envelope(program={"layers": [{"z_um": 1.5, "toolpaths": []}]}),
            "malformed versioned artifact: invalid type: floating point `1.5`, expected i64",
            id="payload-float-z",
        ),
    ],
)
def test_import_errors_exact(text, message):
    with pytest.raises(ValueError) as info:
        _tolm.import_versioned(text)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "text, fragment",
    [
        pytest.param('{"schema_version": 1, "kind": "tolm.lo.program"}', "missing field `program`", id="no-program"),
        pytest.param("not json", "", id="not-json"),
        pytest.param("{", "EOF", id="truncated"),
        pytest.param(envelope(version=-1), "u32", id="negative-version"),
        pytest.param(envelope(version=4294967296), "u32", id="version-too-big"),
        pytest.param(envelope(version=1.0), "u32", id="version-float"),
        pytest.param(envelope(kind=7), "string", id="kind-not-string"),
        pytest.param('{"schema_version": 1, "schema_version": 1, "kind": "x", "program": 1}', "duplicate field `schema_version`", id="duplicate"),
        pytest.param(envelope() + " x", "trailing characters", id="trailing"),
        pytest.param('[1, "tolm.lo.program"]', "invalid length 2", id="short-array"),
        pytest.param('{"schema_version": 1, "kind": "tolm.lo.program", "program": [1,}', "", id="syntax-in-payload"),
    ],
)
def test_malformed_envelopes_carry_a_position(text, fragment):
    with pytest.raises(ValueError) as info:
        _tolm.import_versioned(text)
    message = str(info.value)
    assert message.startswith("malformed versioned artifact: ")
    assert fragment in message
    position = message.rsplit(" at line ", 1)[1]
    line, column = position.split(" column ")
    assert line.isdigit() and column.isdigit()


@pytest.mark.parametrize(
    "program",
    [
        pytest.param({"layers": [{"toolpaths": [], "z_um": 1e3}]}, id="exponent-integer"),
        pytest.param({"layers": [{"toolpaths": [], "z_um": 2**64 - 1}]}, id="above-i64"),
        pytest.param({"layers": [{"toolpaths": [{"kind": "Extrude", "path": {"points": []}, "width_um": 1}], "z_um": 0}]}, id="bare-extrude"),
        pytest.param({"layers": [{"toolpaths": [], "z_um": 0}, {"z_um": 0}]}, id="missing-toolpaths"),
    ],
)
def test_payload_errors_have_no_position(program):
    text = envelope(program=program).replace("1000.0", "1e3")
    with pytest.raises(ValueError) as info:
        _tolm.import_versioned(text)
    message = str(info.value)
    assert message.startswith("malformed versioned artifact: ")
    assert " at line " not in message


def test_envelope_forms_and_payload_member_order():
    lo = demo_lo()
    program = json.loads(lo)
    in_field_order = json.dumps({"program": program, "kind": "tolm.lo.program", "schema_version": 1, "extra": [1, {"a": None}]})
    as_array = json.dumps([1, "tolm.lo.program", program])
    point_arrays = lo.replace('{\n                "x": ', "[").replace(',\n                "y": ', ",")
    point_arrays = point_arrays.replace("\n              }", "]")
    json.loads(point_arrays)  # still JSON, with points as [x, y]
    assert point_arrays != lo
    for text in (in_field_order, as_array, json.dumps([1, "tolm.lo.program", json.loads(point_arrays)])):
        assert _tolm.import_versioned(text) == lo


def test_repeated_payload_member_keeps_the_last_value():
    text = '{"schema_version": 1, "kind": "tolm.lo.program", "program": {"layers": [], "layers": [[3, []]]}}'
    assert json.loads(_tolm.import_versioned(text)) == {"layers": [{"z_um": 3, "toolpaths": []}]}


def test_null_flow_in_payload_is_no_flow():
    program = {"layers": [{"z_um": 1, "toolpaths": [{"kind": "Travel", "path": {"points": []}, "width_um": 0, "flow_e": None}]}]}
    assert "flow_e" not in _tolm.import_versioned(envelope(program=program))


def test_export_reads_with_the_low_level_reader():
    with pytest.raises(ValueError) as info:
        _tolm.export_versioned('{"layers": [{"z_um": 0}]}')
    assert str(info.value).startswith(LO_PREFIX)
    assert "missing field `toolpaths`" in str(info.value)
    with pytest.raises(TypeError, match="lo_program_json"):
        _tolm.export_versioned(1)
    with pytest.raises(TypeError, match="versioned_json"):
        _tolm.import_versioned(versioned_json=None)


int64 = st.integers(I64_MIN, I64_MAX)
flows = st.one_of(st.none(), st.floats(allow_nan=False, allow_infinity=False))
points = st.lists(st.builds(lambda x, y: {"x": x, "y": y}, int64, int64), max_size=4)
kinds = st.one_of(st.just("Travel"), st.builds(lambda r: {"Extrude": r}, st.sampled_from(ROLES)))


def make_toolpath(kind, coords, width, flow):
    tp = {"kind": kind, "path": {"points": coords}, "width_um": width}
    if flow is not None:
        tp["flow_e"] = flow
    return tp


toolpaths = st.builds(make_toolpath, kinds, points, int64, flows)
programs = st.builds(
    lambda layers: {"layers": layers},
    st.lists(st.builds(lambda z, t: {"z_um": z, "toolpaths": t}, int64, st.lists(toolpaths, max_size=4)), max_size=4),
)


@settings(max_examples=200, deadline=None)
@given(programs)
def test_round_trip_of_written_programs(program):
    # The system's own text for the program: written by the import side in field order.
    written = _tolm.import_versioned(_tolm.export_versioned(json.dumps(program)))
    assert json.loads(written) == program
    exported = _tolm.export_versioned(written)
    assert _tolm.import_versioned(exported) == written
    assert _tolm.canonical_hash(written) == _tolm.canonical_hash(json.dumps(program))


@pytest.mark.parametrize(
    "name, doc",
    [
        ("export_versioned", "Serialize a program (JSON) into a versioned, persistable artifact (adds a schema-version tag)."),
        (
            "import_versioned",
            "Load a versioned artifact (from `export_versioned`) back to a program (JSON), failing loudly on a\n"
            "schema-version or kind mismatch.",
        ),
    ],
)
def test_docstrings(name, doc):
    assert getattr(_tolm, name).__doc__ == doc
