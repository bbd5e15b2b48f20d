"""Program, deposit and volume statistics and travel collisions."""

import json

import pytest

import _tolm
from conftest import corpus_params
from plan_builders import DEMO_SQUARE, demo_square, extrude, layer, program, travel
from test_print_time import LO_PREFIX

# --- program_stats ----------------------------------------------------------------------------


def test_program_stats_of_an_empty_program():
    assert _tolm.program_stats(program()) == (
        '{\n  "layers": 0,\n  "extruding_toolpaths": 0,\n  "travel_toolpaths": 0,\n'
        '  "travel_distance_um": -0.0\n}'
    )


@pytest.mark.parametrize(
    "layers, expected",
    [
        pytest.param([layer(200, extrude(DEMO_SQUARE))], (1, 1, 0, "-0.0"), id="no-travels"),
        pytest.param([layer(200), layer(400)], (2, 0, 0, "-0.0"), id="empty-layers"),
        pytest.param(
            [layer(200, travel([(0, 0), (3, 4), (3, 10)]))], (1, 0, 1, "11.0"), id="polyline"
        ),
        pytest.param(
            [layer(200, travel([(7, 7)]), travel([]))], (1, 0, 2, "-0.0"), id="degenerate-travels"
        ),
        pytest.param(
            [
                layer(200, extrude([(0, 0), (1, 0)]), travel([(0, 0), (0, 300)])),
                layer(400, travel([(0, 0), (400, 0)]), extrude([], role="Support")),
            ],
            (2, 2, 2, "700.0"),
            id="over-layers",
        ),
    ],
)
def test_program_stats(layers, expected):
    text = _tolm.program_stats(program(*layers))
    stats = json.loads(text)
    assert list(stats) == ["layers", "extruding_toolpaths", "travel_toolpaths", "travel_distance_um"]
    assert (stats["layers"], stats["extruding_toolpaths"], stats["travel_toolpaths"]) == expected[:3]
    assert text.endswith(f'"travel_distance_um": {expected[3]}\n}}')


def test_extrusions_do_not_add_travel_distance():
    stats = json.loads(_tolm.program_stats(program(layer(200, extrude([(0, 0), (100000, 0)])))))
    assert stats["travel_distance_um"] == 0.0


@pytest.mark.parametrize(
    "name, args",
    [
        ("program_stats", ("[]",)),
        ("deposit_stats", ("{}",)),
        ("travel_collisions", ('{"layers": 5}',)),
        ("volume_stats", ("",)),
    ],
)
def test_bad_program_json(name, args):
    with pytest.raises(ValueError) as error:
        getattr(_tolm, name)(*args)
    assert str(error.value).startswith(LO_PREFIX)


# --- travel_collisions ------------------------------------------------------------------------

# At 1000 µm, a band along y = 5500 of width 3000 covers the rows j = 3..7 (cell centres within
# 1500 + 707 µm of its centre line); a vertical travel along x = 10500 covers column i = 10 only.
BAND = extrude([(0, 5500), (20000, 5500)], width=3000, role="Infill")


def collisions(*layers, resolution_um=1000):
    return json.loads(_tolm.travel_collisions(program(*layers), resolution_um))


@pytest.mark.parametrize(
    "travels, crossed",
    [
        pytest.param([travel([(10500, 500), (10500, 10500)])], 5, id="across-the-band"),
        pytest.param([travel([(10500, 10500), (10500, 500)])], 5, id="reversed"),
        pytest.param([travel([(10500, 5500), (10500, 10500)])], 2, id="starts-inside"),
        pytest.param([travel([(10500, 5500), (10500, 6500)])], 0, id="start-and-end-cells-only"),
        pytest.param([travel([(10500, 4500), (10500, 6500)])], 1, id="start-and-end-inside"),
        pytest.param(
            [travel([(10500, 500), (10500, 10500)]), travel([(10500, 10500), (10500, 500)])],
            10,
            id="two-travels-count-twice",
        ),
        pytest.param(
            [travel([(10500, 500), (10500, 5500), (10500, 10500)])], 5, id="through-a-vertex"
        ),
        pytest.param([travel([(10500, 5500)])], 0, id="one-point"),
        pytest.param([travel([(30500, 500), (30500, 10500)])], 0, id="beside-the-band"),
    ],
)
def test_travel_collisions_counts(travels, crossed):
    for toolpaths in ([BAND, *travels], [*travels, BAND]):  # the layer's final material counts
        report = collisions(layer(200, *toolpaths))
        assert report["total"] == crossed
        assert report["per_layer"] == [{"z_um": 200, "crossed_cells": crossed}]


def test_perimeter_to_perimeter_across_infill():
    # A ring perimeter around a filled middle; the travel starts and ends on the perimeter, and
    # every occupied cell between (ring and infill alike) counts except its start and end cells.
    ring = extrude([(500, 500), (20500, 500), (20500, 20500), (500, 20500), (500, 500)], width=400)
    fill = extrude([(5500, 10500), (15500, 10500)], width=400, role="Infill")
    hop = travel([(10500, 500), (10500, 20500)])
    report = collisions(layer(200, ring, fill, hop))
    # Column i = 10: ring rows 0 and 20 are the start and end cells; the fill covers row 10.
    assert report["total"] == 1
    across = travel([(500, 10500), (20500, 10500)])
    # Row j = 10: the ring's columns 0 and 20 are excluded; the fill covers i = 5..15.
    assert collisions(layer(200, ring, fill, across))["total"] == 11


def test_travels_in_layers_without_extrusions_count_nothing():
    hop = travel([(10500, 500), (10500, 10500)])
    report = collisions(layer(200, BAND), layer(400, hop), layer(600, BAND, hop))
    assert report["per_layer"] == [
        {"z_um": 200, "crossed_cells": 0},
        {"z_um": 400, "crossed_cells": 0},
        {"z_um": 600, "crossed_cells": 5},
    ]
    assert report["total"] == 5


def test_travel_collisions_of_an_empty_program():
    assert _tolm.travel_collisions(program()) == (
        '{\n  "resolution_um": 200,\n  "total": 0,\n  "per_layer": []\n}'
    )


@pytest.mark.parametrize("resolution, reported", [(0, 1), (-5, 1), (3, 3)])
def test_travel_collisions_resolution(resolution, reported):
    small = layer(0, extrude([(0, 0), (30, 0)], width=4), travel([(15, -20), (15, 20)]))
    report = collisions(small, resolution_um=resolution)
    assert report["resolution_um"] == reported


def test_travel_collisions_match_the_occupancy():
    # Cross-check against the occupancy raster: a diagonal travel over a square ring, counted by
    # the capsule rule with zero width (cell centres within half a cell diagonal of the line).
    res = 200
    ring = extrude([(1000, 1000), (9000, 1000), (9000, 9000), (1000, 9000), (1000, 1000)], width=800)
    hop = travel([(0, 130), (9970, 9850)])
    plan = program(layer(200, ring, hop))
    occupied = {tuple(c) for c in json.loads(_tolm.occupancy(plan, res))["layers"][0]["cells"]}

    (x0, y0), (x1, y1) = (0, 130), (9970, 9850)
    reach = 0.7071067811865476 * res
    expected = 0
    for i in range(-2, 55):
        for j in range(-2, 55):
            cx, cy = i * res + res // 2, j * res + res // 2
            t = max(0.0, min(1.0, ((cx - x0) * (x1 - x0) + (cy - y0) * (y1 - y0))
                             / ((x1 - x0) ** 2 + (y1 - y0) ** 2)))
            dx, dy = cx - (x0 + t * (x1 - x0)), cy - (y0 + t * (y1 - y0))
            if dx * dx + dy * dy <= reach * reach and (i, j) in occupied:
                if (i, j) not in ((x0 // res, y0 // res), (x1 // res, y1 // res)):
                    expected += 1
    assert expected > 0
    assert collisions(layer(200, ring, hop), resolution_um=res)["total"] == expected


# --- relations over the real corpus -----------------------------------------------------------


def path_length(points):
    total = -0.0
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        total += ((x1 - x0) ** 2 + (y1 - y0) ** 2) ** 0.5
    return total


@pytest.mark.parametrize("corpus_file", corpus_params(), indirect=True)
def test_corpus_relations(corpus_file):
    if not hasattr(_tolm, "parse_gcode"):
        pytest.skip("the G-code parser is not built into this module")
    program_json, _ = _tolm.parse_gcode(corpus_file.read_text(errors="replace"))
    plan = json.loads(program_json)
    toolpaths = [tp for layer_ in plan["layers"] for tp in layer_["toolpaths"]]
    extruding = [tp for tp in toolpaths if tp["kind"] != "Travel"]
    points_of = [[(p["x"], p["y"]) for p in tp["path"]["points"]] for tp in toolpaths]

    stats = json.loads(_tolm.program_stats(program_json))
    assert stats["layers"] == len(plan["layers"])
    assert stats["extruding_toolpaths"] == len(extruding)
    assert stats["travel_toolpaths"] == len(toolpaths) - len(extruding)

    time_ = json.loads(_tolm.print_time(program_json))
    assert time_["total_s"] == time_["print_move_s"] + time_["travel_move_s"]
    assert time_["total_s"] > 0 or not extruding
    layer_times = [s for _, s in time_["per_layer_s"]]
    assert [z for z, _ in time_["per_layer_s"]] == [l["z_um"] for l in plan["layers"]]
    assert sum(layer_times) == pytest.approx(time_["total_s"], rel=1e-9)
    assert time_["min_layer_s"] == min(layer_times, default=0.0)

    verdict = json.loads(_tolm.is_printable(program_json))
    collisions = json.loads(_tolm.travel_collisions(program_json))
    assert verdict["fastest_layer_s"] == time_["min_layer_s"]
    assert verdict["travel_collisions"] == collisions["total"]
    assert collisions["total"] == sum(l["crossed_cells"] for l in collisions["per_layer"])
    assert verdict["printable"] is (
        verdict["out_of_bounds_points"] == 0 and verdict["travel_collisions"] == 0
    )

    flows = json.loads(_tolm.flow_stats(program_json))
    assert flows["toolpaths_with_flow"] == len(extruding)
    assert flows["toolpaths_without_flow"] == 0
    assert sum(e for _, e in flows["per_layer"]) == pytest.approx(flows["total_e_mm"], rel=1e-9)
    assert [z for z, _ in flows["per_layer"]] == sorted({l["z_um"] for l in plan["layers"]})
    cell_e = sum(e for _, _, cells in json.loads(_tolm.denote_flow(program_json, 1000))
                 for _, _, e in cells)
    drawn_e = sum(tp["flow_e"] for tp in extruding if tp["path"]["points"])
    assert cell_e == pytest.approx(drawn_e, rel=1e-9, abs=1e-9)
    assert _tolm.e_conserved(program_json, program_json, 0.0) is True

    rows, cols, flat = _tolm.feature_matrix(program_json)
    assert rows == len(toolpaths) and cols == 16
    lengths = flat[5::16]
    assert sum(lengths) == pytest.approx(sum(path_length(p) for p in points_of), rel=1e-9)
    travel_lengths = [l for l, tag in zip(lengths, flat[2::16]) if tag == 0.0]
    assert sum(travel_lengths) == pytest.approx(stats["travel_distance_um"], rel=1e-9)
    assert sum(flat[2::16]) == len(extruding)

    graph = json.loads(_tolm.travel_graph(program_json))
    assert len(graph["nodes"]) == sum(1 for p in points_of if p)
