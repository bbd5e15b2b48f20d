"""Reading program JSON: member order, unknown members, array forms, enumerations and errors."""

import json
import re

import pytest

import _tolm

PREFIX = (
    "expected a LOW-LEVEL program JSON (layers of toolpaths, e.g. from lower_to_json() or "
    "parse_gcode()); "
)
POSITION = re.compile(r" at line \d+ column \d+$")


def wrap(toolpath_text, z="200"):
    return '{"layers": [{"z_um": %s, "toolpaths": [%s]}]}' % (z, toolpath_text)


def cells(text, resolution_um=200):
    layers = json.loads(_tolm.occupancy(text, resolution_um))["layers"]
    return [[tuple(cell) for cell in layer["cells"]] for layer in layers]


DOT = '{"kind": {"Extrude": "Perimeter"}, "path": {"points": [{"x": 100, "y": 100}]}, "width_um": 0}'
DOT_CELLS = [[(0, 0)]]


@pytest.mark.parametrize(
    "text",
    [
        # Members in any order.
        wrap('{"width_um": 0, "path": {"points": [{"y": 100, "x": 100}]}, '
             '"kind": {"Extrude": "Perimeter"}}'),
        # Unknown members are skipped whatever their value.
        wrap('{"comment": {"deep": [1, [2, {"x": null}], "s\\u00e9"]}, '
             '"kind": {"Extrude": "Perimeter"}, "path": {"points": [{"x": 100, "y": 100, '
             '"z": 3.5}], "extra": true}, "width_um": 0, "flow_e": null}'),
        # Records as arrays of their field values; a toolpath array of three or four values.
        wrap('[{"Extrude": "Perimeter"}, [[[100, 100]]], 0]'),
        wrap('[{"Extrude": "Perimeter"}, {"points": [[100, 100]]}, 0, 0.5]'),
        '[[[200, [[{"Extrude": "Perimeter"}, [[[100, 100]]], 0]]]]]',
        # Enumerations as a string or a one-member object.
        wrap('{"kind": {"Extrude": {"Perimeter": null}}, "path": {"points": [[100, 100]]}, '
             '"width_um": 0}'),
        wrap(DOT + ", " + '{"kind": {"Travel": null}, "path": {"points": [[0, 0], [9000, 0]]}, '
             '"width_um": 5000}'),
        # Whitespace between tokens is free.
        " \n\t" + wrap(DOT).replace(":", " : ").replace(",", "\r\n,") + " \n",
    ],
)
def test_accepted_forms(text):
    assert cells(text) == DOT_CELLS


def test_flow_missing_or_null_and_integer_flow_read_alike():
    texts = [
        wrap(DOT),
        wrap(DOT[:-1] + ', "flow_e": null}'),
        wrap(DOT[:-1] + ', "flow_e": 1}'),
        wrap(DOT[:-1] + ', "flow_e": -1.5e-3}'),
    ]
    assert all(cells(text) == DOT_CELLS for text in texts)


def test_empty_program_and_roles():
    assert json.loads(_tolm.occupancy('{"layers": []}')) == {"layers": []}
    for role in ["Perimeter", "Infill", "Skin", "Support"]:
        assert cells(wrap(DOT.replace("Perimeter", role))) == DOT_CELLS


@pytest.mark.parametrize(
    "text, fragment",
    [
        ("{}", "missing field `layers`"),
        ('{"layers": [], "layers": []}', "duplicate field `layers`"),
        (wrap('{"kind": "Travel", "path": {"points": []}}'), "missing field `width_um`"),
        (wrap('{"kind": "Travel", "path": {"points": []}, "width_um": 1, "width_um": 2}'),
         "duplicate field `width_um`"),
        (wrap(DOT.replace('"x": 100', '"x": 1.5')), "floating point `1.5`, expected i64"),
        (wrap(DOT.replace('"x": 100', '"x": 1e3')), "floating point `1e3`, expected i64"),
        (wrap(DOT.replace('"x": 100', '"x": 9223372036854775808')), "out of range"),
        (wrap(DOT.replace('"x": 100', '"x": "100"')), 'string "100", expected i64'),
        (wrap(DOT), None),
        (wrap(DOT, z="-9223372036854775809"), "out of range"),
        (wrap(DOT.replace('{"Extrude": "Perimeter"}', '"Extrude"')),
         "unit variant, expected newtype variant"),
        (wrap(DOT.replace('"Perimeter"', '"perimeter"')),
         "unknown variant `perimeter`, expected `Perimeter`, `Infill`, `Skin`, or `Support`"),
        (wrap(DOT.replace('{"Extrude": "Perimeter"}', '"Walk"')),
         "unknown variant `Walk`, expected `Extrude` or `Travel`"),
        (wrap(DOT.replace('{"Extrude": "Perimeter"}', '{"Travel": 1}')), "expected unit"),
        (wrap(DOT.replace('{"Extrude": "Perimeter"}', '{"Travel": null, "Extrude": "Skin"}')),
         "single key"),
        (wrap('[{"Extrude": "Perimeter"}, [[[100, 100]]]]'), "invalid length 2"),
        (wrap('[{"Extrude": "Perimeter"}, [[[100, 100]]], 0, null, 7]'), "invalid length 5"),
        (wrap(DOT.replace('{"x": 100, "y": 100}', "[100]")), "invalid length 1"),
        (wrap(DOT.replace('{"x": 100, "y": 100}', "[100, 100, 100]")), "invalid length 3"),
        (wrap(DOT.replace('"flow_e"', '"flow_e"')[:-1] + ', "flow_e": "1"}'), 'string "1"'),
        ('{"layers": []} {}', "trailing characters"),
        ('{"layers": [}', "expected value"),
        ('{"layers": [],}', "trailing comma"),
        ('{"layers": []', "EOF while parsing an object"),
        ("", "EOF while parsing a value"),
        ("not json", "expected ident"),
        ('{"layers": [], "x": tru}', "expected ident"),
        ('{"layers": [], "note": "\x01"}', "control character"),
        ('{"layers": [], "note": "\\q"}', "invalid escape"),
        ('{"layers": [], "note": "\\ud800"}', "lone leading surrogate"),
    ],
)
def test_read_errors(text, fragment):
    if fragment is None:
        assert cells(text) == DOT_CELLS
        return
    with pytest.raises(ValueError) as raised:
        _tolm.occupancy(text)
    message = str(raised.value)
    assert message.startswith(PREFIX)
    assert fragment in message
    assert POSITION.search(message), message


def test_error_position_counts_lines_and_columns():
    text = '{\n  "layers": [\n    {"z_um": 200, "toolpaths": [], "z_um": 5}\n  ]\n}'
    with pytest.raises(ValueError, match=r"duplicate field `z_um` at line 3 column 36$"):
        _tolm.occupancy(text)


def test_deep_nesting_inside_unknown_member_is_refused():
    text = '{"layers": [], "x": ' + "[" * 130 + "]" * 130 + "}"
    with pytest.raises(ValueError, match="recursion limit exceeded"):
        _tolm.occupancy(text)
    shallow = '{"layers": [], "x": ' + "[" * 100 + "]" * 100 + "}"
    assert json.loads(_tolm.occupancy(shallow)) == {"layers": []}


def test_escaped_keys_and_strings_are_decoded():
    text = wrap(DOT.replace('"width_um"', '"width\\u005fum"').replace('"Perimeter"', '"Perim\\u0065ter"'))
    assert cells(text) == DOT_CELLS
