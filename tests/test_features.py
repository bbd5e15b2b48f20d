"""The per-toolpath feature matrix and the travel graph."""

import json
import math

import pytest

import _tolm
from plan_builders import DEMO_SQUARE, demo_square, extrude, layer, program, travel
from test_print_time import LO_PREFIX

COLUMNS = [
    "layer_index", "z_um", "is_extrude", "role_tag", "width_um", "length_um",
    "min_x", "min_y", "max_x", "max_y", "start_x", "start_y", "end_x", "end_y",
    "n_points", "flow_e",
]


def rows_of(program_json):
    rows, cols, flat = _tolm.feature_matrix(program_json)
    assert cols == 16 and len(flat) == rows * cols
    assert all(type(v) is float for v in flat)
    return [dict(zip(COLUMNS, flat[r * cols:(r + 1) * cols])) for r in range(rows)]


def graph(program_json):
    return json.loads(_tolm.travel_graph(program_json))


def test_feature_columns():
    assert _tolm.feature_columns() == COLUMNS
    with pytest.raises(TypeError):
        _tolm.feature_columns(0)


def test_empty_program():
    assert _tolm.feature_matrix(program()) == (0, 16, [])
    assert graph(program()) == {"nodes": [], "edges": []}
    assert _tolm.travel_graph(program()) == '{\n  "nodes": [],\n  "edges": []\n}'


def test_worked_row():
    [row] = rows_of(program(layer(200, travel([(0, 0), (3, 4), (3, 10)]))))
    flow = row.pop("flow_e")
    assert math.isnan(flow)
    assert row == {
        "layer_index": 0.0, "z_um": 200.0, "is_extrude": 0.0, "role_tag": 0.0, "width_um": 0.0,
        "length_um": 11.0, "min_x": 0.0, "min_y": 0.0, "max_x": 3.0, "max_y": 10.0,
        "start_x": 0.0, "start_y": 0.0, "end_x": 3.0, "end_y": 10.0, "n_points": 3.0,
    }


@pytest.mark.parametrize(
    "role, tag", [("Perimeter", 1.0), ("Infill", 2.0), ("Skin", 3.0), ("Support", 4.0)]
)
def test_role_tags(role, tag):
    [row] = rows_of(program(layer(0, extrude([(1, 2)], role=role, width=450, flow=0.75))))
    assert (row["is_extrude"], row["role_tag"], row["width_um"], row["flow_e"]) == (1.0, tag, 450.0, 0.75)


def test_bounding_box_and_ends_of_an_unordered_path():
    [row] = rows_of(program(layer(0, extrude([(5, -3), (-7, 9), (2, 2), (-1, -8)]))))
    assert (row["min_x"], row["min_y"], row["max_x"], row["max_y"]) == (-7.0, -8.0, 5.0, 9.0)
    assert (row["start_x"], row["start_y"], row["end_x"], row["end_y"]) == (5.0, -3.0, -1.0, -8.0)


@pytest.mark.parametrize(
    "points, length, n",
    [
        pytest.param([], "-0.0", 0, id="no-points"),
        pytest.param([(4, 6)], "-0.0", 1, id="one-point"),
        pytest.param([(4, 6), (4, 6)], "0.0", 2, id="repeated-point"),
    ],
)
def test_degenerate_paths(points, length, n):
    [row] = rows_of(program(layer(0, extrude(points))))
    assert math.copysign(1.0, row["length_um"]) == (-1.0 if length == "-0.0" else 1.0)
    assert row["length_um"] == 0.0
    assert row["n_points"] == float(n)
    corner = [row[c] for c in COLUMNS[6:14]]
    assert corner == ([0.0] * 8 if n == 0 else [4.0, 6.0] * 4)


def test_layers_without_toolpaths_keep_the_index():
    rows = rows_of(program(layer(200, extrude([(0, 0)])), layer(400), layer(600, travel([(0, 0)]), extrude([]))))
    assert [(r["layer_index"], r["z_um"]) for r in rows] == [(0.0, 200.0), (2.0, 600.0), (2.0, 600.0)]


def test_numpy_reshape():
    np = pytest.importorskip("numpy")
    rows, cols, flat = _tolm.feature_matrix(demo_square())
    matrix = np.array(flat).reshape(rows, cols)
    assert matrix.shape == (1, 16)
    assert matrix[0, COLUMNS.index("length_um")] == 80000.0
    assert np.isnan(matrix[0, -1])


def test_large_coordinates_convert_exactly_where_doubles_can():
    big = 2**62
    [row] = rows_of(program(layer(0, extrude([(-big, big), (big, -big)]))))
    assert (row["min_x"], row["max_y"]) == (float(-big), float(big))
    assert row["length_um"] == math.sqrt(2) * 2 * big


# --- travel graph -----------------------------------------------------------------------------


def test_graph_worked_example():
    plan = program(
        layer(200, extrude([(0, 0), (10, 0)]), extrude([(13, 4), (13, 8)])),
        layer(400, extrude([(1, 1)])),
    )
    assert graph(plan) == {
        "nodes": [[5.0, 0.0, 200.0], [13.0, 6.0, 200.0], [1.0, 1.0, 400.0]],
        "edges": [[0, 1, 5.0]],
    }


def test_graph_text_layout():
    text = _tolm.travel_graph(program(layer(200, extrude([(0, 0)]), extrude([(3, 4)]))))
    assert text == (
        '{\n  "nodes": [\n    [\n      0.0,\n      0.0,\n      200.0\n    ],\n'
        '    [\n      3.0,\n      4.0,\n      200.0\n    ]\n  ],\n'
        '  "edges": [\n    [\n      0,\n      1,\n      5.0\n    ]\n  ]\n}'
    )


def test_closed_square_centroid_counts_the_repeated_point():
    g = graph(program(layer(0, extrude([(0, 0), (10, 0), (10, 10), (0, 10), (0, 0)]))))
    assert g["nodes"] == [[4.0, 4.0, 0.0]]


def test_empty_paths_are_skipped_without_breaking_the_chain():
    plan = program(layer(0, extrude([(0, 0)]), travel([]), extrude([(6, 8)]), extrude([])))
    assert graph(plan) == {"nodes": [[0.0, 0.0, 0.0], [6.0, 8.0, 0.0]], "edges": [[0, 1, 10.0]]}


def test_travels_are_nodes_and_hops_weigh_zero_when_joined():
    plan = program(layer(0, extrude([(0, 0), (10, 0)]), travel([(10, 0), (10, 30)]), extrude([(10, 30), (0, 30)])))
    g = graph(plan)
    assert [e[2] for e in g["edges"]] == [0.0, 0.0]
    assert g["nodes"][1] == [10.0, 15.0, 0.0]


def test_centroid_sums_do_not_overflow():
    big = 2**62
    g = graph(program(layer(0, extrude([(big, -big), (big, -big), (big, -big), (big + 2, -big)]))))
    assert g["nodes"] == [[float(big), float(-big), 0.0]]


def test_hop_between_far_points():
    big = 2**62
    g = graph(program(layer(0, extrude([(-big, 0)]), extrude([(big, 0)]))))
    assert g["edges"] == [[0, 1, 2.0 * big]]


@pytest.mark.parametrize("name", ["feature_matrix", "travel_graph"])
def test_bad_program_json(name):
    with pytest.raises(ValueError) as error:
        getattr(_tolm, name)('{"layers": [{"z_um": 1.5, "toolpaths": []}]}')
    assert str(error.value).startswith(LO_PREFIX)
