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


# --- deposit_stats ----------------------------------------------------------------------------


def deposit(*layers, resolution_um=200):
    return json.loads(_tolm.deposit_stats(program(*layers), resolution_um))


def cells_of(*toolpaths, resolution_um=200):
    text = _tolm.occupancy(program(layer(0, *toolpaths)), resolution_um)
    return len(json.loads(text)["layers"][0]["cells"])


LINE = [(0, 0), (3000, 0)]


def test_deposit_stats_of_an_empty_program():
    assert _tolm.deposit_stats(program()) == (
        '{\n  "resolution_um": 200,\n  "total_cells": 0,\n  "over_deposited_cells": 0,\n'
        '  "redeposited_cells": 0,\n  "max_multiplicity": 0\n}'
    )


def test_identical_extrusions_stack():
    c = cells_of(extrude(LINE))
    assert deposit(layer(200, extrude(LINE), extrude(LINE, role="Infill"))) == {
        "resolution_um": 200,
        "total_cells": c,
        "over_deposited_cells": c,
        "redeposited_cells": c,
        "max_multiplicity": 2,
    }


def test_one_path_over_itself_counts_once():
    back_and_forth = extrude([(0, 0), (3000, 0), (0, 0), (3000, 0)])
    c = cells_of(back_and_forth)
    assert deposit(layer(200, back_and_forth)) == {
        "resolution_um": 200,
        "total_cells": c,
        "over_deposited_cells": 0,
        "redeposited_cells": 0,
        "max_multiplicity": 1,
    }


def test_partial_overlap_and_layers():
    a, b = extrude(LINE), extrude([(1500, 0), (4500, 0)])
    union = cells_of(a, b)
    shared = cells_of(a) + cells_of(b) - union
    stats = deposit(layer(200, a, b, a), layer(400, a), layer(600, travel(LINE)))
    assert stats["total_cells"] == union + cells_of(a)
    assert stats["max_multiplicity"] == 3
    # Cells of a are covered twice (three where b overlaps); b's own cells once.
    assert stats["over_deposited_cells"] == cells_of(a)
    assert stats["redeposited_cells"] == cells_of(a) + shared
    assert 0 < shared < cells_of(a)


def test_deposit_stats_ignores_travels():
    stats = deposit(layer(200, travel(LINE), travel(LINE)))
    assert stats["total_cells"] == 0 and stats["max_multiplicity"] == 0


@pytest.mark.parametrize("resolution, reported", [(0, 1), (-9, 1), (200, 200)])
def test_deposit_stats_resolution(resolution, reported):
    tiny = layer(0, extrude([(0, 0), (10, 0)], width=4))
    assert deposit(tiny, resolution_um=resolution)["resolution_um"] == reported


# --- volume_stats -----------------------------------------------------------------------------


def volume(*layers, resolution_um=200, layer_height_um=None):
    return json.loads(_tolm.volume_stats(program(*layers), resolution_um, layer_height_um))


def test_volume_stats_of_an_empty_program():
    assert _tolm.volume_stats(program()) == (
        '{\n  "resolution_um": 200,\n  "total_volume_mm3": 0.0,\n  "per_layer": []\n}'
    )


def test_ten_millimetre_bead():
    stats = volume(layer(200, extrude([(0, 0), (10000, 0)], width=400)))
    [only] = stats["per_layer"]
    assert (only["z_um"], only["layer_height_um"]) == (200, 200)
    assert only["volume_mm3"] == pytest.approx(10 * 0.4 * 0.2, rel=1e-12)
    assert stats["total_volume_mm3"] == only["volume_mm3"]


@pytest.mark.parametrize(
    "zs, given, heights",
    [
        pytest.param([200, 400], None, [200, 200], id="derived"),
        pytest.param([200, 400, 400], None, [200, 200, 1], id="repeated-z"),
        pytest.param([600, 400], None, [600, 1], id="descending-z"),
        pytest.param([0, 300], None, [1, 300], id="first-at-zero"),
        pytest.param([200, 400], 0, [1, 1], id="given-zero"),
        pytest.param([200, 400], -5, [1, 1], id="given-negative"),
        pytest.param([200, 400], 150, [150, 150], id="given"),
    ],
)
def test_layer_heights(zs, given, heights):
    stats = volume(*(layer(z, extrude([(0, 0), (1000, 0)])) for z in zs), layer_height_um=given)
    assert [l["layer_height_um"] for l in stats["per_layer"]] == heights
    assert [l["z_um"] for l in stats["per_layer"]] == zs
    for entry, h in zip(stats["per_layer"], heights):
        assert entry["volume_mm3"] == pytest.approx(1.0 * 0.4 * h / 1000, rel=1e-12)


def test_layers_without_volume_report_negative_zero():
    text = _tolm.volume_stats(program(layer(200), layer(400, extrude([(5, 5)])), layer(600, travel(LINE))))
    assert text.count('"volume_mm3": -0.0') == 3
    assert '"total_volume_mm3": 0.0' in text


def test_zero_width_has_cells_but_no_volume():
    text = _tolm.volume_stats(program(layer(200, extrude(LINE, width=0))))
    assert '"volume_mm3": 0.0' in text


def test_volume_sums_over_toolpaths_and_layers():
    stats = volume(layer(200, extrude(LINE), extrude(LINE, width=800)), layer(400, extrude(LINE)))
    first, second = stats["per_layer"]
    assert first["volume_mm3"] == pytest.approx(3 * 0.4 * 0.2 + 3 * 0.8 * 0.2, rel=1e-12)
    assert second["volume_mm3"] == pytest.approx(3 * 0.4 * 0.2, rel=1e-12)
    assert stats["total_volume_mm3"] == 0.0 + first["volume_mm3"] + second["volume_mm3"]


@pytest.mark.parametrize("resolution, reported", [(0, 1), (-2, 1), (500, 500)])
def test_volume_stats_resolution(resolution, reported):
    tiny = layer(200, extrude([(0, 0), (10, 0)], width=4))
    assert volume(tiny, resolution_um=resolution)["resolution_um"] == reported


def test_volume_stats_argument_types():
    with pytest.raises(TypeError, match="layer_height_um"):
        _tolm.volume_stats(program(), 200, "1")
    assert _tolm.volume_stats(program(), layer_height_um=None) == _tolm.volume_stats(program())


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

    occupancy = json.loads(_tolm.occupancy(program_json, 1000))
    deposit_ = json.loads(_tolm.deposit_stats(program_json, 1000))
    assert deposit_["total_cells"] == sum(len(l["cells"]) for l in occupancy["layers"])
    assert deposit_["redeposited_cells"] >= deposit_["over_deposited_cells"]
    assert (deposit_["max_multiplicity"] > 1) is (deposit_["over_deposited_cells"] > 0)
    volume_ = json.loads(_tolm.volume_stats(program_json, 1000))
    assert [l["z_um"] for l in volume_["per_layer"]] == [l["z_um"] for l in plan["layers"]]
    assert sum(l["volume_mm3"] for l in volume_["per_layer"]) == pytest.approx(
        volume_["total_volume_mm3"], rel=1e-9)

    graph = json.loads(_tolm.travel_graph(program_json))
    assert len(graph["nodes"]) == sum(1 for p in points_of if p)
