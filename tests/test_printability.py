"""The printability verdict against a machine profile."""

import json

import pytest

import _tolm
from plan_builders import DEMO_SQUARE, demo_square, extrude, layer, program, travel
from test_print_time import DEFAULT_PROFILE_TEXT, LO_PREFIX, POSITION, PROFILE_PREFIX, profile

DEMO_VERDICT = """{
  "printable": true,
  "out_of_bounds_points": 0,
  "layers_below_min_time": 0,
  "min_layer_time_s": 0.0,
  "fastest_layer_s": 1.4455445579093018,
  "travel_collisions": 0,
  "resolution_um": 200
}"""


def verdict(program_json, profile_json=None, resolution_um=200):
    return json.loads(_tolm.is_printable(program_json, profile_json, resolution_um))


def test_demo_square_verdict_text():
    assert _tolm.is_printable(demo_square()) == DEMO_VERDICT
    assert _tolm.is_printable(demo_square(), DEFAULT_PROFILE_TEXT, 200) == DEMO_VERDICT


def test_empty_program_is_printable():
    assert verdict(program()) == {
        "printable": True,
        "out_of_bounds_points": 0,
        "layers_below_min_time": 0,
        "min_layer_time_s": 0.0,
        "fastest_layer_s": 0.0,
        "travel_collisions": 0,
        "resolution_um": 200,
    }


@pytest.mark.parametrize(
    "z_um, points, expected",
    [
        pytest.param(200, [(200000, 200000), (0, 0)], 0, id="bounds-are-inside"),
        pytest.param(200, [(200001, 5)], 1, id="x-above"),
        pytest.param(200, [(-1, 5)], 1, id="x-below"),
        pytest.param(200, [(5, 200001)], 1, id="y-above"),
        pytest.param(200, [(5, -1)], 1, id="y-below"),
        pytest.param(200, [(-1, -1), (-1, -1), (5, 5)], 2, id="repeated-point-counts-twice"),
        pytest.param(200000, [(5, 5)], 0, id="z-at-max"),
        pytest.param(0, [(5, 5)], 0, id="z-zero"),
        pytest.param(200001, [(5, 5), (6, 6), (7, 7)], 3, id="z-above-max"),
        pytest.param(-1, [(5, 5), (-1, 7)], 2, id="z-negative-counts-each-point-once"),
    ],
)
def test_bounds(z_um, points, expected):
    for make in (extrude, travel):
        v = verdict(program(layer(z_um, make(points))))
        assert v["out_of_bounds_points"] == expected
        assert v["printable"] is (expected == 0)


def test_custom_bed_and_counting_over_layers():
    bed = profile(bed_min_um=[-1000, 500], bed_max_um=[1000, 600], max_z_um=400)
    plan = program(
        layer(200, extrude([(-1000, 500), (1000, 600), (1001, 550)]), travel([(0, 499), (0, 550)])),
        layer(400, extrude([(0, 550)])),
        layer(401, extrude([(0, 550), (0, 550)])),
        layer(600),  # a layer without toolpaths counts nothing, even above the gantry
    )
    assert verdict(plan, bed)["out_of_bounds_points"] == 1 + 1 + 2


@pytest.mark.parametrize(
    "minimum, applied, below",
    [(2.0, 2.0, 1), (1.4, 1.4, 0), (1.4455445579093018, 1.4455445579093018, 0), (-5.0, 0.0, 0)],
    ids=["slower-than-demo", "faster-than-demo", "exactly-the-demo-time", "negative-disabled"],
)
def test_minimum_layer_time(minimum, applied, below):
    v = verdict(demo_square(), profile(min_layer_time_s=minimum))
    assert v["min_layer_time_s"] == applied
    assert v["layers_below_min_time"] == below
    assert v["printable"] is (below == 0)
    assert v["fastest_layer_s"] == 1.4455445579093018


def test_minimum_layer_time_counts_empty_layers():
    plan = program(layer(200, extrude(DEMO_SQUARE)), layer(400), layer(600, extrude(DEMO_SQUARE)))
    v = verdict(plan, profile(min_layer_time_s=1.0))
    assert v["layers_below_min_time"] == 1
    assert v["fastest_layer_s"] == 0.0


def test_travel_collisions_make_a_plan_unprintable():
    # A travel across the middle of a filled band, starting and ending well outside it.
    band = extrude([(0, 2000), (20000, 2000)], width=2000, role="Infill")
    hop = travel([(10000, 0), (10000, 4000)])
    v = verdict(program(layer(200, band, hop)))
    assert v["travel_collisions"] > 0
    assert v["printable"] is False
    assert v["travel_collisions"] == json.loads(
        _tolm.travel_collisions(program(layer(200, band, hop)))
    )["total"]


@pytest.mark.parametrize("resolution, reported", [(0, 1), (-7, 1), (1, 1), (500, 500)])
def test_resolution_reported(resolution, reported):
    small = program(layer(200, extrude([(0, 0), (50, 0)], width=20), travel([(0, 0), (0, 40)])))
    assert verdict(small, None, resolution)["resolution_um"] == reported


def test_resolution_changes_the_travel_check():
    band = extrude([(0, 2000), (20000, 2000)], width=2000)
    hop = travel([(10000, 0), (10000, 4000)])
    plan = program(layer(200, band, hop))
    fine, coarse = verdict(plan, None, 100), verdict(plan, None, 1000)
    assert fine["travel_collisions"] > coarse["travel_collisions"]


@pytest.mark.parametrize("profile_json", ["[]", "{}", "null", "{"])
def test_bad_profile_raises_before_the_program_is_read(profile_json):
    for program_json in (demo_square(), "[]"):
        with pytest.raises(ValueError) as error:
            _tolm.is_printable(program_json, profile_json)
        assert str(error.value).startswith(PROFILE_PREFIX)
        assert POSITION.search(str(error.value))


def test_bad_program_after_a_good_profile():
    with pytest.raises(ValueError) as error:
        _tolm.is_printable("{}", DEFAULT_PROFILE_TEXT)
    assert str(error.value).startswith(LO_PREFIX)
    assert "layers" in str(error.value)


def test_resolution_is_converted_before_the_profile():
    with pytest.raises(TypeError, match="resolution_um"):
        _tolm.is_printable(demo_square(), 5, "200")
    with pytest.raises(TypeError, match="profile_json"):
        _tolm.is_printable(demo_square(), 5, 200)


def test_keywords():
    assert (
        _tolm.is_printable(resolution_um=200, program_json=demo_square(), profile_json=None)
        == DEMO_VERDICT
    )


def test_lowered_demo_square_from_the_module():
    lowered = _tolm.lower_to_json(_tolm.demo_square_json())
    assert _tolm.is_printable(lowered) == DEMO_VERDICT
    assert json.loads(_tolm.print_time(lowered))["total_s"] == 1.4455445579093018
    assert json.loads(_tolm.print_time(lowered, _tolm.default_machine_profile()))[
        "total_s"] == 1.4455445579093018
