"""Commanded flow: per cell, per Z, statistics and conservation."""

import json

import pytest

import _tolm
from plan_builders import DEMO_SQUARE, demo_square, extrude, layer, program, travel
from test_print_time import LO_PREFIX

# A single point at a cell corner with a 2 µm bead covers exactly the four cells around it.
FOUR_CELLS = [(200, 200)]


def flow(program_json, resolution_um=200):
    return json.loads(_tolm.denote_flow(program_json, resolution_um))


def stats(program_json):
    return json.loads(_tolm.flow_stats(program_json))


def occupied(toolpath, resolution_um=200):
    text = _tolm.occupancy(program(layer(0, toolpath)), resolution_um)
    return [tuple(c) for c in json.loads(text)["layers"][0]["cells"]]


# --- plans without flow -----------------------------------------------------------------------


def test_computed_plan_has_no_flow():
    plan = program(layer(200, extrude(DEMO_SQUARE), travel([(0, 0), (5, 5)])), layer(400, extrude(DEMO_SQUARE)))
    assert flow(plan) == [[200, 200, []], [400, 200, []]]
    text = _tolm.flow_stats(plan)
    assert text == (
        '{\n  "total_e_mm": -0.0,\n  "per_layer": [\n    [\n      200,\n      0.0\n    ],\n'
        '    [\n      400,\n      0.0\n    ]\n  ],\n  "toolpaths_with_flow": 0,\n'
        '  "toolpaths_without_flow": 2\n}'
    )
    assert _tolm.e_conserved(plan, demo_square()) is True


def test_empty_program():
    assert _tolm.denote_flow(program()) == "[]"
    assert stats(program()) == {
        "total_e_mm": -0.0,
        "per_layer": [],
        "toolpaths_with_flow": 0,
        "toolpaths_without_flow": 0,
    }
    assert _tolm.e_conserved(program(), program(), 0.0) is True


# --- denote_flow ------------------------------------------------------------------------------


def test_flow_spread_over_four_cells():
    text = _tolm.denote_flow(program(layer(200, extrude(FOUR_CELLS, width=2, flow=1.0))))
    assert json.loads(text) == [
        [200, 200, [[0, 0, 0.25], [0, 1, 0.25], [1, 0, 0.25], [1, 1, 0.25]]]
    ]
    assert text.startswith("[\n  [\n    200,\n    200,\n    [\n      [\n        0,\n        0,\n        0.25\n")


def test_flow_is_spread_evenly_over_the_occupied_cells():
    path = extrude([(0, 0), (5000, 0), (5000, 3000)], width=400, flow=2.5)
    cells = occupied(path)
    [[z, res, got]] = flow(program(layer(0, path)))
    assert (z, res) == (0, 200)
    assert [(i, j) for i, j, _ in got] == cells
    assert all(e == 2.5 / len(cells) for _, _, e in got)


def test_overlapping_toolpaths_add_their_shares():
    a = extrude([(0, 100), (1000, 100)], width=200, flow=1.0)
    b = extrude([(600, 100), (1600, 100)], width=200, flow=3.0, role="Infill")
    cells_a, cells_b = occupied(a), occupied(b)
    expected = {}
    for cell in cells_a:
        expected[cell] = expected.get(cell, 0.0) + 1.0 / len(cells_a)
    for cell in cells_b:
        expected[cell] = expected.get(cell, 0.0) + 3.0 / len(cells_b)
    [[_, _, got]] = flow(program(layer(0, a, b)))
    assert [(i, j) for i, j, _ in got] == sorted(expected)
    assert {(i, j): e for i, j, e in got} == expected
    assert set(cells_a) & set(cells_b)


@pytest.mark.parametrize(
    "toolpath",
    [
        pytest.param(travel([(0, 0), (1000, 0)], flow=5.0), id="travel-with-flow"),
        pytest.param(extrude([(0, 0), (1000, 0)]), id="extrusion-without-flow"),
        pytest.param(extrude([], flow=5.0), id="extrusion-without-points"),
    ],
)
def test_toolpaths_that_put_no_flow_in_cells(toolpath):
    assert flow(program(layer(200, toolpath))) == [[200, 200, []]]


@pytest.mark.parametrize("resolution, used", [(0, 1), (-3, 1), (1000, 1000)])
def test_denote_flow_resolution(resolution, used):
    plan = program(layer(200, extrude([(0, 0)], width=0, flow=1.0)))
    [[_, res, cells]] = flow(plan, resolution)
    assert res == used
    assert sum(e for _, _, e in cells) == pytest.approx(1.0)


def test_negative_width_acts_as_zero():
    narrow = flow(program(layer(0, extrude([(0, 0), (2000, 0)], width=-50, flow=1.0))))
    zero = flow(program(layer(0, extrude([(0, 0), (2000, 0)], width=0, flow=1.0))))
    assert narrow == zero


# --- flow_stats -------------------------------------------------------------------------------


def test_flow_stats_counts_and_order():
    plan = program(
        layer(600, extrude([(0, 0)], flow=0.5)),
        layer(200, extrude([(0, 0)], flow=1.0), extrude([(0, 0)]), travel([(0, 0), (1, 1)], flow=9.0)),
        layer(400),
        layer(200, extrude([(0, 0)], flow=2.0, role="Skin"), extrude([], flow=0.25)),
    )
    s = stats(plan)
    assert list(s) == ["total_e_mm", "per_layer", "toolpaths_with_flow", "toolpaths_without_flow"]
    assert s["per_layer"] == [[200, 3.25], [400, 0.0], [600, 0.5]]
    assert s["total_e_mm"] == 0.5 + 1.0 + 2.0 + 0.25
    assert (s["toolpaths_with_flow"], s["toolpaths_without_flow"]) == (4, 1)


def test_flow_stats_total_adds_toolpath_by_toolpath():
    # Added one toolpath at a time, each 1.0 is lost against 1e16 (the spacing there is 2.0);
    # adding the layers' own sums would keep their 2.0.
    plan = program(layer(200, extrude([(0, 0)], flow=1e16)),
                   layer(400, extrude([(0, 0)], flow=1.0), extrude([(0, 0)], flow=1.0)))
    s = stats(plan)
    assert s["total_e_mm"] == 1e16
    assert s["per_layer"] == [[200, 1e16], [400, 2.0]]


def test_negative_flow_is_counted_as_given():
    s = stats(program(layer(200, extrude([(0, 0)], flow=-0.8))))
    assert s["total_e_mm"] == -0.8 and s["per_layer"] == [[200, -0.8]]


# --- e_conserved ------------------------------------------------------------------------------


def plan_of(*layers_e):
    """One layer per (z, [flows]) pair."""
    return program(*(layer(z, *(extrude([(0, 0), (100, 0)], flow=e) for e in es)) for z, es in layers_e))


@pytest.mark.parametrize(
    "a, b, tolerance, conserved",
    [
        pytest.param([(200, [1.0, 2.0])], [(200, [2.0, 1.0])], 0.0, True, id="reordered-toolpaths"),
        pytest.param([(200, [1.0]), (200, [2.0])], [(200, [3.0])], 0.0, True, id="same-z-merged"),
        pytest.param([(200, [1.0]), (400, [2.0])], [(400, [2.0]), (200, [1.0])], 0.0, True,
                     id="reordered-layers"),
        pytest.param([(200, [1.0]), (400, [2.0])], [(200, [2.0]), (400, [1.0])], 10.0, True,
                     id="moved-between-z-within-tolerance"),
        pytest.param([(200, [1.0]), (400, [2.0])], [(200, [2.0]), (400, [1.0])], 0.5, False,
                     id="moved-between-z"),
        pytest.param([(200, [1.0])], [(200, [1.0 + 1e-7])], 1e-6, True, id="within-default"),
        pytest.param([(200, [1.0])], [(200, [1.0 + 1e-7])], 0.0, False, id="tolerance-zero-exact"),
        pytest.param([(200, [1.0])], [(200, [1.0 + 1e-7])], -1.0, False, id="negative-is-zero"),
        pytest.param([(200, [1.0])], [(200, [1.0]), (400, [])], 0.0, True, id="extra-empty-z"),
        pytest.param([(200, [1.0])], [(200, [1.0]), (400, [0.5])], 0.6, True,
                     id="missing-z-counts-zero"),
        pytest.param([(200, [1.0])], [(200, [1.0]), (400, [0.5])], 0.4, False,
                     id="missing-z-over-tolerance"),
    ],
)
def test_e_conserved(a, b, tolerance, conserved):
    assert _tolm.e_conserved(plan_of(*a), plan_of(*b), tolerance) is conserved
    assert _tolm.e_conserved(plan_of(*b), plan_of(*a), tolerance) is conserved


def test_e_conserved_default_tolerance():
    a, b = plan_of((200, [1.0])), plan_of((200, [1.0 + 1e-7]))
    assert _tolm.e_conserved(a, b) is True
    assert _tolm.e_conserved(a, plan_of((200, [1.0 + 1e-5]))) is False


def test_e_conserved_ignores_travels_and_flowless_extrusions():
    a = program(layer(200, extrude([(0, 0)], flow=1.0), travel([(0, 0), (1, 0)], flow=7.0)))
    b = program(layer(200, extrude([(0, 0)], flow=1.0), extrude([(0, 0), (5, 5)])))
    assert _tolm.e_conserved(a, b, 0.0) is True


def test_e_conserved_argument_order():
    # Every argument is converted before any JSON is read, and a is read before b.
    with pytest.raises(TypeError, match="tolerance_mm"):
        _tolm.e_conserved("{}", "{}", "0.1")
    with pytest.raises(ValueError) as error:
        _tolm.e_conserved("{}", '{"layers": 1}')
    assert str(error.value).startswith(LO_PREFIX) and "missing field `layers`" in str(error.value)
    with pytest.raises(ValueError) as error:
        _tolm.e_conserved(demo_square(), '{"layers": 1}')
    assert "expected a sequence" in str(error.value)
    assert _tolm.e_conserved(a_json=demo_square(), b_json=demo_square(), tolerance_mm=1) is True


@pytest.mark.parametrize("name", ["denote_flow", "flow_stats"])
def test_bad_program_json(name):
    with pytest.raises(ValueError) as error:
        getattr(_tolm, name)("[]")
    assert str(error.value).startswith(LO_PREFIX)
