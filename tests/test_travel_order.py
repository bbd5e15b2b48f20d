"""The travel-order pass (through a small native driver) and `demo_travel_order`."""

import json

import pytest

import _tolm
from lo_plans import extrude, layer, program, travel
from native_driver import core_driver  # noqa: F401  (fixture)


def run_pass(driver, layers, start=(0, 0), allow_reverse=True):
    out = driver("travel_order", start[0], start[1], int(allow_reverse), program_json=program(*layers))
    return out["layers"]


def link(a, b):
    return travel([a, b])


def as_text(layers):
    return json.loads(program(*layers))["layers"]


@pytest.mark.parametrize(
    "incoming, expected",
    [
        pytest.param([travel([(0, 0), (5, 5)], 400), travel([(5, 5), (9, 9)])], [], id="only-travels"),
        pytest.param([extrude([(5000, 0), (0, 0)])], [extrude([(0, 0), (5000, 0)])], id="reversed-single"),
        pytest.param(
            [extrude([(1000, 0), (2000, 0)]), extrude([(0, 1000), (0, 3000)])],
            [extrude([(1000, 0), (2000, 0)]), link((2000, 0), (0, 1000)), extrude([(0, 1000), (0, 3000)])],
            id="tie-on-first-points-earlier-wins",
        ),
        pytest.param(
            [extrude([(0, 1000), (0, 3000)]), extrude([(1000, 0), (2000, 0)])],
            [extrude([(0, 1000), (0, 3000)]), link((0, 3000), (1000, 0)), extrude([(1000, 0), (2000, 0)])],
            id="tie-on-first-points-swapped",
        ),
        pytest.param([extrude([(1000, 0), (0, 1000)])], [extrude([(1000, 0), (0, 1000)])],
                     id="tie-first-over-last-point"),
        pytest.param(
            [extrude([(9000, 0), (0, 700)]), extrude([(700, 0), (800, 0)])],
            [extrude([(0, 700), (9000, 0)]), link((9000, 0), (800, 0)), extrude([(800, 0), (700, 0)])],
            id="tie-reversed-earlier-beats-later-first",
        ),
        pytest.param(
            [extrude([(0, 0), (1000, 0)]), extrude([(1000, 0), (1000, 1000)]), extrude([(1000, 1000), (0, 0)])],
            [extrude([(0, 0), (1000, 0)]), extrude([(1000, 0), (1000, 1000)]), extrude([(1000, 1000), (0, 0)])],
            id="chain-from-origin-unchanged",
        ),
        pytest.param(
            [extrude([], 400, "Skin"), extrude([(3000, 0)], 300), travel([(1, 1), (2, 2)]),
             extrude([(1000, 0), (2000, 0)]), extrude([], 500)],
            [extrude([(1000, 0), (2000, 0)]), link((2000, 0), (3000, 0)), extrude([(3000, 0)], 300),
             extrude([], 400, "Skin"), extrude([], 500)],
            id="single-point-candidate-empty-paths-last",
        ),
        pytest.param(
            [extrude([(8000, 0), (100, 0)], 350, "Infill", flow=0.25)],
            [extrude([(100, 0), (8000, 0)], 350, "Infill", flow=0.25)],
            id="reversal-keeps-role-width-flow",
        ),
        pytest.param(
            [extrude([(0, 0), (100, 0)]), extrude([(100, 0), (200, 0)], 999, flow=1.0)],
            [extrude([(0, 0), (100, 0)]), extrude([(100, 0), (200, 0)], 999, flow=1.0)],
            id="meeting-paths-get-no-travel",
        ),
    ],
)
def test_one_layer(core_driver, incoming, expected):
    assert run_pass(core_driver, [layer(200, *incoming)]) == as_text([layer(200, *expected)])


def test_every_layer_starts_from_the_start_point(core_driver):
    near_end = extrude([(9000, 0), (10, 0)])
    out = run_pass(core_driver, [layer(200, near_end), layer(400, near_end), layer(100)])
    reversed_path = extrude([(10, 0), (9000, 0)])
    assert out == as_text([layer(200, reversed_path), layer(400, reversed_path), layer(100)])


def test_without_reversal_paths_keep_their_direction(core_driver):
    paths = [extrude([(5000, 0), (0, 0)]), extrude([(6000, 0), (7000, 0)])]
    out = run_pass(core_driver, [layer(0, *paths)], allow_reverse=False)
    assert out == as_text([layer(0, paths[0], link((0, 0), (6000, 0)), paths[1])])


def test_other_start_point(core_driver):
    paths = [extrude([(0, 0), (100, 0)]), extrude([(5000, 0), (5100, 0)])]
    out = run_pass(core_driver, [layer(0, *paths)], start=(5200, 0))
    assert out == as_text([layer(0, extrude([(5100, 0), (5000, 0)]), link((5000, 0), (100, 0)),
                                 extrude([(100, 0), (0, 0)]))])


def test_greedy_order_on_scattered_strokes(core_driver):
    strokes = [extrude([(x, 0), (x + 100, 0)]) for x in (0, 8000, 2000, 6000, 4000)]
    out = run_pass(core_driver, [layer(200, *strokes)])
    extrusions = [t["path"]["points"][0]["x"] for t in out[0]["toolpaths"] if t["kind"] != "Travel"]
    assert extrusions == [0, 2000, 4000, 6000, 8000]
    links = [t for t in out[0]["toolpaths"] if t["kind"] == "Travel"]
    assert [(t["width_um"], "flow_e" in t, len(t["path"]["points"])) for t in links] == [(0, False, 2)] * 4


def test_material_is_unchanged(core_driver):
    incoming = [layer(200, extrude([(5000, 5000), (0, 0), (0, 4000)], 300), travel([(0, 0), (1, 1)]),
                      extrude([(2500, 100), (100, 2500)], 500, "Infill"), extrude([(2500, 2500)], 400)),
                layer(200, extrude([(7000, 0), (9000, 2000)]))]
    before = program(*incoming)
    after = json.dumps({"layers": run_pass(core_driver, incoming)})
    assert _tolm.occupancy(before) == _tolm.occupancy(after)
    assert core_driver("deposit", 200, program_json=before) == core_driver("deposit", 200, program_json=after)


def test_demo_travel_order():
    result = _tolm.demo_travel_order()
    assert result == (True, 20.0, 7.6)
    assert [type(v) for v in result] == [bool, float, float]


@pytest.mark.parametrize("res", [1, 0, -4, 50, 100000])
def test_demo_travel_order_is_sound_at_any_resolution(res):
    assert _tolm.demo_travel_order(resolution_um=res) == (True, 20.0, 7.6)


@pytest.mark.parametrize(
    "args, kwargs, error",
    [((), {"resolution_um": "200"}, TypeError), ((200, 1), {}, TypeError), ((2**64,), {}, OverflowError)],
)
def test_demo_travel_order_argument_errors(args, kwargs, error):
    with pytest.raises(error):
        _tolm.demo_travel_order(*args, **kwargs)


# ---------------------------------------------------------------------------------------------
# Laws over random plans

from hypothesis import HealthCheck, given, settings, strategies as st  # noqa: E402

coordinate = st.integers(-3000, 3000)
random_toolpath = st.one_of(
    st.builds(lambda pts, w, flow: extrude(pts, w, flow=flow), st.lists(st.tuples(coordinate, coordinate), max_size=4),
              st.sampled_from([0, 250, 400]), st.sampled_from([None, 0.5])),
    st.builds(lambda pts: travel(pts, 300), st.lists(st.tuples(coordinate, coordinate), max_size=3)),
)
random_layers = st.lists(
    st.builds(lambda z, tps: layer(z, *tps), st.sampled_from([200, 400]), st.lists(random_toolpath, max_size=5)),
    max_size=3,
)


@settings(max_examples=30, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(layers=random_layers, reverse=st.booleans())
def test_pass_keeps_material_and_extrusions(core_driver, layers, reverse):
    before = program(*layers)
    out = run_pass(core_driver, layers, allow_reverse=reverse)
    after = json.dumps({"layers": out})
    assert _tolm.occupancy(before) == _tolm.occupancy(after)
    assert core_driver("deposit", 200, program_json=before) == core_driver("deposit", 200, program_json=after)

    def direction_free(toolpath):
        points = [(p["x"], p["y"]) for p in toolpath["path"]["points"]]
        return (toolpath["width_um"], repr(toolpath.get("flow_e")), json.dumps(toolpath["kind"]), min(points, points[::-1]))

    for old, new in zip(json.loads(before)["layers"], out):
        assert new["z_um"] == old["z_um"]
        extrusions = [t for t in new["toolpaths"] if t["kind"] != "Travel"]
        old_extrusions = [t for t in old["toolpaths"] if t["kind"] != "Travel"]
        assert sorted(map(direction_free, extrusions)) == sorted(map(direction_free, old_extrusions))
        if not reverse:
            assert sorted(json.dumps(t, sort_keys=True) for t in extrusions) == sorted(
                json.dumps(t, sort_keys=True) for t in old_extrusions)
        # No travel leads a layer; every travel joins the end of one path to the start of the next.
        for k, t in enumerate(new["toolpaths"]):
            if t["kind"] == "Travel":
                assert 0 < k < len(new["toolpaths"]) - 1
                prev, nxt = new["toolpaths"][k - 1], new["toolpaths"][k + 1]
                assert t["path"]["points"] == [prev["path"]["points"][-1], nxt["path"]["points"][0]]
                assert t["path"]["points"][0] != t["path"]["points"][1]
                assert t["width_um"] == 0 and "flow_e" not in t
