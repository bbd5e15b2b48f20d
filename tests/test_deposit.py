"""Deposit multiplicity and melt volume, checked through a small native driver over the core and
against the module's own occupancy (the round-trip flags are covered in test_verify.py)."""

import json
import math

import pytest

from lo_plans import cells_of, extrude, layer, program, square_outline, travel
from native_driver import core_driver  # noqa: F401  (fixture)


def deposit(driver, plan, res=200):
    return driver("deposit", res, program_json=plan)["layers"]


def volume(driver, plan, res=200, height=None):
    args = ("volume", res) if height is None else ("volume", res, height)
    return driver(*args, program_json=plan)["layers"]


def counts(layer_entry):
    return {(i, j): n for i, j, n in layer_entry["cells"]}


PLANS = {
    "square": program(square_outline(0, 0, 4000)),
    "crossing": program(layer(200, extrude([(0, 0), (4000, 4000)]), extrude([(0, 4000), (4000, 0)], 600),
                              extrude([(2000, -500), (2000, 4500)], 0))),
    "stacked-layers": program(square_outline(0, 0, 2000), square_outline(300, 300, 2000, z_um=400), layer(600)),
    "far-apart": program(layer(200, extrude([(0, 0), (900, 300)], 300), extrude([(10**6, 10**6), (10**6, 10**6 - 2000)], 0),
                               extrude([(10**6 - 200, 10**6 - 100)], 700))),
    "negative": program(layer(-200, extrude([(-5000, -100), (-100, -5000), (-2500, -2500)], 250),
                              extrude([(-3000, -3000)], 500))),
}


@pytest.mark.parametrize("name", sorted(PLANS))
@pytest.mark.parametrize("res", [200, 150, 1000])
def test_counts_are_the_number_of_paths_covering_each_cell(core_driver, name, res):
    plan = PLANS[name]
    layers = json.loads(plan)["layers"]
    result = deposit(core_driver, plan, res)
    assert [(e["z_um"], e["resolution_um"]) for e in result] == [(l["z_um"], res) for l in layers]
    for entry, plan_layer, occupied in zip(result, layers, cells_of(plan, res)):
        expected = {}
        for toolpath in plan_layer["toolpaths"]:
            if toolpath["kind"] == "Travel":
                continue
            alone = program(layer(plan_layer["z_um"], toolpath))
            for cell in cells_of(alone, res)[0]:
                expected[cell] = expected.get(cell, 0) + 1
        assert counts(entry) == expected
        assert set(counts(entry)) == occupied
        # Written in cell order: by i, then j.
        assert [c[:2] for c in entry["cells"]] == sorted(c[:2] for c in entry["cells"])


def test_two_identical_paths_stack_and_a_back_and_forth_path_does_not(core_driver):
    line = [(0, 0), (3000, 0)]
    twice = program(layer(200, extrude(line), extrude(line)))
    back_and_forth = program(layer(200, extrude([(0, 0), (3000, 0), (0, 0), (3000, 0)])))
    assert set(counts(deposit(core_driver, twice)[0]).values()) == {2}
    assert set(counts(deposit(core_driver, back_and_forth)[0]).values()) == {1}


def test_travels_deposit_nothing(core_driver):
    plan = program(layer(200, travel([(0, 0), (5000, 0)], 400)), layer(400))
    assert [e["cells"] for e in deposit(core_driver, plan)] == [[], []]
    assert [e["cells"] for e in volume(core_driver, plan)] == [[], []]


def test_single_point_deposits_a_disc_but_no_volume(core_driver):
    plan = program(layer(200, extrude([(0, 0)], 400)))
    cells = counts(deposit(core_driver, plan)[0])
    assert len(cells) == 12 and set(cells.values()) == {1}
    assert volume(core_driver, plan)[0]["cells"] == []


@pytest.mark.parametrize("res", [0, -7])
def test_resolution_below_one_is_used_as_one(core_driver, res):
    plan = program(layer(0, extrude([(0, 0), (3, 0)], 2)))
    entry = deposit(core_driver, plan, res)[0]
    assert entry["resolution_um"] == 1
    assert set(counts(entry)) == cells_of(plan, 1)[0]
    assert volume(core_driver, plan, res)[0]["resolution_um"] == 1


def test_ten_millimetre_segment_spreads_its_volume_evenly(core_driver):
    plan = program(layer(200, extrude([(0, 0), (10000, 0)], 400)))
    entry = volume(core_driver, plan)[0]
    n = len(cells_of(plan)[0])
    assert entry["layer_height_um"] == 200
    assert len(entry["cells"]) == n
    assert {v for _, _, v in entry["cells"]} == {(10.0 * (0.4 * 0.2)) / n}
    assert math.isclose(sum(v for _, _, v in entry["cells"]), 0.8, rel_tol=1e-12)


def test_zero_width_gives_cells_with_no_volume(core_driver):
    plan = program(layer(200, extrude([(0, 0), (2000, 0)], 0)))
    entry = volume(core_driver, plan)[0]
    assert {(i, j) for i, j, _ in entry["cells"]} == cells_of(plan)[0]
    assert {v for _, _, v in entry["cells"]} == {0.0}
    assert set(counts(deposit(core_driver, plan)[0]).values()) == {1}


@pytest.mark.parametrize(
    "zs, given, expected",
    [
        pytest.param([200, 400, 400], None, [200, 200, 1], id="repeated-z"),
        pytest.param([300, 200, 500], None, [300, 1, 300], id="descending-z"),
        pytest.param([0, 200], None, [1, 200], id="first-at-zero"),
        pytest.param([-400, -200], None, [1, 200], id="negative-first"),
        pytest.param([200, 400, 400], 250, [250, 250, 250], id="given"),
        pytest.param([200, 400], 0, [1, 1], id="given-zero"),
        pytest.param([200, 400], -5, [1, 1], id="given-negative"),
    ],
)
def test_layer_heights(core_driver, zs, given, expected):
    plan = program(*[layer(z, extrude([(0, 0), (1000, 0)])) for z in zs])
    result = volume(core_driver, plan, 200, given)
    assert [e["layer_height_um"] for e in result] == expected
    assert [e["z_um"] for e in result] == zs


@pytest.mark.parametrize(
    "toolpaths, res, height",
    [
        pytest.param([extrude([(0, 0), (3000, 0), (3000, 2500), (0, 0)], 450)], 200, 200, id="triangle"),
        pytest.param([extrude([(0, 0), (5000, 1000)], 300), extrude([(0, 600), (5000, 600), (5000, 600)], 500)],
                     250, 120, id="two-paths-zero-length-segment"),
        pytest.param([extrude([(-1000, -1000), (1000, 1000)], 400, "Infill"), travel([(0, 0), (9, 9)], 400),
                      extrude([(1000, -1000), (-1000, 1000)], 400, "Skin")], 100, 200, id="cross"),
        pytest.param([extrude([(0, 0), (700, 300), (0, 0)], 350), extrude([(10**7, 0), (10**7, 500), (10**7, 0)], 0),
                      extrude([(100, 100), (400, 100)], 900)], 100, 150, id="far-apart-sparse"),
    ],
)
def test_volume_sums_each_segment_share_in_segment_order(core_driver, toolpaths, res, height):
    plan = program(layer(200, *toolpaths))
    expected = {}
    for toolpath in toolpaths:
        if toolpath["kind"] == "Travel":
            continue
        points = [(p["x"], p["y"]) for p in toolpath["path"]["points"]]
        w = max(toolpath["width_um"], 0)
        area = (w / 1000) * (height / 1000)
        for p, q in zip(points, points[1:]):
            cells = cells_of(program(layer(0, extrude([p, q], w))), res)[0]
            share = (math.sqrt((q[0] - p[0]) ** 2 + (q[1] - p[1]) ** 2) / 1000 * area) / len(cells)
            for cell in cells:
                expected[cell] = expected.get(cell, 0.0) + share
    entry = volume(core_driver, plan, res, height)[0]
    assert {(i, j): v for i, j, v in entry["cells"]} == expected
