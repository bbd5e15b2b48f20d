"""The graded distance diff (`graded_diff`, `graded_diff_gcode`)."""

import json
import math

import pytest

import _tolm
from lo_plans import cells_of, extrude, layer, program, square_outline, travel

LO_PREFIX = (
    "expected a LOW-LEVEL program JSON (layers of toolpaths, e.g. from lower_to_json() or parse_gcode()); "
)
EMPTY = program()


def graded(a, b, res=200):
    return json.loads(_tolm.graded_diff(a, b, res))


def dots(z_um, *points):
    """A layer of single-point extrusions of width 0 (at 1 µm each marks exactly its own cell)."""
    return layer(z_um, *(extrude([p], 0) for p in points))


def zero_row(z, unmatched=0):
    return {"z_um": z, "mean_um": 0.0, "p95_um": 0.0, "max_um": 0.0, "differing_cells": 0,
            "unmatched_cells": unmatched}


def reference_report(a, b, res):
    """The report computed the slow way: brute-force nearest distances between the occupancies."""
    by_z = {}
    for plan, side in ((a, 0), (b, 1)):
        for entry, cells in zip(json.loads(plan)["layers"], cells_of(plan, res)):
            by_z.setdefault(entry["z_um"], [set(), set()])[side] |= cells

    def stats(values):
        if not values:
            return 0.0, 0.0, 0.0
        total = 0.0
        for v in values:  # left to right, like the report (sum() compensates since 3.12)
            total += v
        ordered = sorted(values)
        index = min(max(math.ceil(0.95 * len(values)) - 1, 0), len(values) - 1)
        return total / len(values), ordered[index], ordered[-1]

    rows, pooled = [], []
    for z, (sa, sb) in sorted(by_z.items()):
        distances = []
        if sa and sb:
            for source, other in ((sa, sb), (sb, sa)):
                for c in sorted(source - other):
                    d2 = min((c[0] - o[0]) ** 2 + (c[1] - o[1]) ** 2 for o in other)
                    distances.append(math.sqrt(d2) * res)
        mean, p95, mx = stats(distances)
        rows.append({"z_um": z, "mean_um": mean, "p95_um": p95, "max_um": mx,
                     "differing_cells": len(distances),
                     "unmatched_cells": 0 if (sa and sb) else len(sa ^ sb)})
        pooled += distances
    mean, p95, mx = stats(pooled)
    return {"resolution_um": res, "mean_um": mean, "p95_um": p95, "max_um": mx,
            "differing_cells": sum(r["differing_cells"] for r in rows),
            "unmatched_cells": sum(r["unmatched_cells"] for r in rows), "per_layer": rows}


def test_two_programs_without_layers():
    assert graded(EMPTY, EMPTY) == {"resolution_um": 200, "mean_um": 0.0, "p95_um": 0.0, "max_um": 0.0,
                                    "differing_cells": 0, "unmatched_cells": 0, "per_layer": []}


def test_report_text_keeps_decimal_points():
    text = _tolm.graded_diff(EMPTY, program(layer(5)), 0)
    assert text == (
        "{\n"
        '  "resolution_um": 1,\n'
        '  "mean_um": 0.0,\n'
        '  "p95_um": 0.0,\n'
        '  "max_um": 0.0,\n'
        '  "differing_cells": 0,\n'
        '  "unmatched_cells": 0,\n'
        '  "per_layer": [\n'
        "    {\n"
        '      "z_um": 5,\n'
        '      "mean_um": 0.0,\n'
        '      "p95_um": 0.0,\n'
        '      "max_um": 0.0,\n'
        '      "differing_cells": 0,\n'
        '      "unmatched_cells": 0\n'
        "    }\n"
        "  ]\n"
        "}"
    )


def test_identical_plans_measure_nothing():
    plan = program(square_outline(0, 0, 4000), square_outline(0, 0, 2000, z_um=400), layer(600))
    report = graded(plan, plan)
    assert report["per_layer"] == [zero_row(200), zero_row(400), zero_row(600)]
    assert (report["mean_um"], report["p95_um"], report["max_um"]) == (0.0, 0.0, 0.0)


@pytest.mark.parametrize("res", [200, 150, 1])
def test_one_extra_side_neighbour_is_one_resolution_away(res):
    h = res // 2
    a = program(dots(200, (h, h)))
    b = program(dots(200, (h, h), (res + h, h)))
    assert cells_of(b, res) == [{(0, 0), (1, 0)}]
    row = graded(a, b, res)["per_layer"][0]
    assert row == {"z_um": 200, "mean_um": float(res), "p95_um": float(res), "max_um": float(res),
                   "differing_cells": 1, "unmatched_cells": 0}


def test_diagonal_neighbour_is_root_two_resolutions_away():
    a = program(dots(0, (0, 0)))
    b = program(dots(0, (0, 0), (1, 1)))
    report = graded(a, b, 1)
    assert report["max_um"] == math.sqrt(2)


@pytest.mark.parametrize(
    "a, b, rows",
    [
        pytest.param(program(square_outline(0, 0, 1000)), EMPTY, None, id="layer-only-in-a"),
        pytest.param(program(layer(200)), program(square_outline(0, 0, 1000)), None, id="empty-in-a"),
        pytest.param(program(layer(200, travel([(0, 0), (1000, 0)], 400))), program(layer(200)),
                     [zero_row(200)], id="both-empty-at-z"),
    ],
)
def test_z_with_material_on_one_side_only_is_unmatched(a, b, rows):
    report = graded(a, b)
    if rows is None:
        n = len(cells_of(program(square_outline(0, 0, 1000)))[0])
        rows = [zero_row(200, unmatched=n)]
    assert report["per_layer"] == rows
    assert report["max_um"] == 0.0
    assert report["unmatched_cells"] == rows[0]["unmatched_cells"]
    assert report["differing_cells"] == 0


@pytest.mark.parametrize(
    "far, measured",
    [
        pytest.param((2999, 2999), True, id="3000x3000-exactly-at-limit"),
        pytest.param((3000, 2999), False, id="3001x3000-over-limit"),
        pytest.param((8_999_999, 0), True, id="9e6x1-at-limit"),
        pytest.param((9_000_000, 0), False, id="one-row-over-limit"),
        pytest.param((0, 9_000_000), False, id="one-column-over-limit"),
    ],
)
def test_area_limit(far, measured):
    a = program(dots(0, (0, 0)))
    b = program(dots(0, (0, 0), far))
    row = graded(a, b, 1)["per_layer"][0]
    if measured:
        assert row["differing_cells"] == 1 and row["unmatched_cells"] == 0
        assert row["max_um"] == math.sqrt(far[0] ** 2 + far[1] ** 2)
    else:
        assert row == zero_row(0, unmatched=1)


def test_rectangle_spanning_the_whole_integer_range_is_unmatched_not_overflowed():
    big = 2**63 - 1
    a = program(dots(0, (-big - 1, -big - 1), (big, 0)))
    b = program(dots(0, (-big - 1, -big - 1), (0, big)))
    report = graded(a, b, 1)
    # Far from the origin a "dot" may cover more than one cell; count from the occupancy itself.
    sa, sb = cells_of(a, 1)[0], cells_of(b, 1)[0]
    assert len(sa ^ sb) >= 2
    assert report["per_layer"] == [zero_row(0, unmatched=len(sa ^ sb))]


@pytest.mark.parametrize("res", [0, -3])
def test_resolution_below_one_is_reported_as_one(res):
    a = program(dots(0, (0, 0)))
    b = program(dots(0, (0, 0), (3, 4)))
    report = graded(a, b, res)
    assert report["resolution_um"] == 1
    assert report["max_um"] == 5.0


def test_disjoint_squares_score_by_distance_while_iou_is_zero():
    a = program(square_outline(0, 0, 4000))
    near = program(square_outline(2000, 0, 4000))
    far = program(square_outline(4000, 0, 4000))
    r_near, r_far = graded(a, near), graded(a, far)
    assert json.loads(_tolm.diff_programs(a, near))["iou"] < 1.0
    n = len(cells_of(a)[0])
    shared = json.loads(_tolm.diff_programs(a, far))["total_shared"]
    assert r_far["differing_cells"] == 2 * (n - shared)
    assert r_near["max_um"] < r_far["max_um"]
    assert r_near["mean_um"] < r_far["mean_um"]
    assert all(row["max_um"] > 0 for row in r_far["per_layer"])


@pytest.mark.parametrize(
    "a, b, res",
    [
        pytest.param(program(square_outline(0, 0, 3000)), program(square_outline(400, 200, 3000, width=600)), 200,
                     id="shifted-wider-square"),
        pytest.param(
            program(layer(200, extrude([(0, 0), (4000, 3000), (4000, 0)], 300)),
                    layer(400, extrude([(0, 0), (1000, 0)])), layer(800, extrude([(0, 0), (0, 900)]))),
            program(layer(400, extrude([(0, 600), (1000, 1400)])), layer(200, extrude([(-400, 0), (3600, 3300)], 500)),
                    layer(600, extrude([(0, 0), (500, 0)]))),
            250, id="three-layers-mixed-z"),
        pytest.param(program(dots(0, *[(i * 7 % 23, i * 11 % 19) for i in range(20)])),
                     program(dots(0, *[(i * 5 % 17, i * 3 % 13) for i in range(20)])), 1, id="scattered-dots"),
    ],
)
def test_matches_brute_force_nearest_distances(a, b, res):
    assert graded(a, b, res) == reference_report(a, b, res)


def test_p95_is_the_nearest_rank():
    # Twenty extra cells of b at distances 1..20 along a row: p95 is the 19th smallest.
    a = program(dots(0, (0, 0)))
    b = program(dots(0, (0, 0), *[(k, 0) for k in range(1, 21)]))
    report = graded(a, b, 1)
    assert report["p95_um"] == 19.0
    assert report["max_um"] == 20.0
    assert report["mean_um"] == 10.5


def test_pooled_figures_are_not_averages_of_layers():
    a = program(dots(0, (0, 0)), dots(10, (0, 0)))
    b = program(dots(0, (0, 0), (1, 0)), dots(10, (0, 0), *[(k, 0) for k in range(1, 4)]))
    report = graded(a, b, 1)
    assert [row["mean_um"] for row in report["per_layer"]] == [1.0, 2.0]
    assert report["mean_um"] == (1 + 1 + 2 + 3) / 4


@pytest.mark.parametrize(
    "a, b, fragment",
    [
        pytest.param("{}", "[", "layers", id="both-bad-reports-a"),
        pytest.param(EMPTY, "{}", "layers", id="b-bad"),
    ],
)
def test_read_errors_use_the_low_level_prefix(a, b, fragment):
    with pytest.raises(ValueError) as info:
        _tolm.graded_diff(a, b)
    message = str(info.value)
    assert message.startswith(LO_PREFIX)
    assert fragment in message and " at line " in message


# ---------------------------------------------------------------------------------------------
# graded_diff_gcode

GCODE = (
    "G21\nG90\nM83\n;LAYER_CHANGE\n;Z:0.2\n;TYPE:Perimeter\n;WIDTH:0.4\n"
    "G0 X0 Y0\nG1 X4 Y0 E0.1\nG1 X4 Y4 E0.1\n"
)


def test_graded_diff_gcode_matches_the_parsed_programs():
    moved = GCODE.replace("X4 Y0", "X4 Y1")
    expected = _tolm.graded_diff(_tolm.parse_gcode(GCODE)[0], _tolm.parse_gcode(moved)[0], 150)
    assert _tolm.graded_diff_gcode(GCODE, moved, 150) == expected
    assert json.loads(expected)["max_um"] > 0.0


@pytest.mark.parametrize("a, b", [("", ""), ("not G-code (at all\n", GCODE)])
def test_graded_diff_gcode_never_raises_for_bad_text(a, b):
    report = json.loads(_tolm.graded_diff_gcode(a, b, 0))
    assert report["resolution_um"] == 1
    assert report["differing_cells"] == 0


def test_graded_diff_gcode_argument_errors():
    with pytest.raises(TypeError, match="resolution_um"):
        _tolm.graded_diff_gcode(GCODE, GCODE, 1.5)


# ---------------------------------------------------------------------------------------------
# The distance transform and the statistics, through the native driver

from native_driver import core_driver  # noqa: E402,F401  (fixture)


def numbers(values):
    return " ".join(map(str, values))


@pytest.mark.parametrize(
    "f",
    [
        pytest.param([], id="empty"),
        pytest.param([7], id="one"),
        pytest.param([0, 10**9, 10**9, 10**9, 0], id="two-zeros"),
        pytest.param([5, 5, 5, 5], id="all-equal"),
        pytest.param([9, 0, 30, 2, 2, 50, 1, 0, 17], id="mixed"),
        pytest.param([10**15, 3, 10**15, -4, 10**15, 10**15], id="large-and-negative"),
        pytest.param([(k * 37) % 11 for k in range(40)], id="pattern"),
    ],
)
def test_edt_1d_is_the_lower_envelope(core_driver, f):
    expected = [min((q - p) ** 2 + f[p] for p in range(len(f))) for q in range(len(f))]
    assert core_driver("edt_1d", stdin=numbers(f)) == expected


@pytest.mark.parametrize(
    "w, h, cells",
    [
        pytest.param(1, 1, [(0, 0)], id="single"),
        pytest.param(3, 2, [(1, 1)], id="corner-distances"),
        pytest.param(4, 3, [], id="empty-set-is-inf"),
        pytest.param(7, 5, [(0, 0), (6, 4), (3, 2)], id="spread"),
        pytest.param(9, 1, [(4, 0)], id="one-row"),
        pytest.param(1, 9, [(0, 8)], id="one-column"),
        pytest.param(12, 10, sorted({((k * 5) % 12, (k * 7) % 10) for k in range(9)}), id="scattered"),
    ],
)
@pytest.mark.parametrize("origin", [(0, 0), (-7, 3)])
def test_edt_2d_is_the_exact_squared_distance(core_driver, w, h, cells, origin):
    min_i, min_j = origin
    inf = 4 * (w * w + h * h) + 1
    expected = [
        min([(c - i) ** 2 + (r - j) ** 2 for i, j in cells], default=inf) for r in range(h) for c in range(w)
    ]
    shifted = [(i + min_i, j + min_j) for i, j in cells]
    got = core_driver("edt_2d", w, h, min_i, min_j, stdin=numbers(v for cell in shifted for v in cell))
    assert got == expected


@pytest.mark.parametrize(
    "values, expected",
    [
        pytest.param([], [0.0, 0.0, 0.0], id="empty"),
        pytest.param([5.5], [5.5, 5.5, 5.5], id="one"),
        pytest.param([3.0, 1.0], [2.0, 3.0, 3.0], id="two-p95-is-larger"),
        pytest.param([float(v) for v in range(20, 0, -1)], [10.5, 19.0, 20.0], id="twenty-p95-is-19th"),
        pytest.param([float(v) for v in range(1, 22)], [11.0, 20.0, 21.0], id="twenty-one"),
        pytest.param([0.1, 0.2, 0.3], [(0.1 + 0.2 + 0.3) / 3, 0.3, 0.3], id="left-to-right-sum"),
    ],
)
def test_dist_stats(core_driver, values, expected):
    assert core_driver("dist_stats", stdin=numbers(repr(v) for v in values)) == expected


# ---------------------------------------------------------------------------------------------
# Laws over random plans

from hypothesis import given, settings, strategies as st  # noqa: E402

coordinate = st.integers(-3000, 3000)
random_path = st.lists(st.tuples(coordinate, coordinate), min_size=1, max_size=4)
random_layer = st.builds(
    lambda z, paths: layer(z, *(extrude(p, w) for p, w in paths)),
    st.sampled_from([200, 400]),
    st.lists(st.tuples(random_path, st.integers(0, 600)), max_size=3),
)
random_plan = st.lists(random_layer, max_size=3).map(lambda layers: program(*layers))


@settings(max_examples=40, deadline=None)
@given(a=random_plan, b=random_plan, res=st.sampled_from([150, 200, 333]))
def test_graded_diff_agrees_with_brute_force_and_with_itself_swapped(a, b, res):
    forward, backward = graded(a, b, res), graded(b, a, res)
    assert forward == reference_report(a, b, res)
    for key in ("p95_um", "max_um", "differing_cells", "unmatched_cells"):
        assert forward[key] == backward[key]
    assert math.isclose(forward["mean_um"], backward["mean_um"], rel_tol=1e-12)
    # preserves_within is exactly "epsilon at least the worst measured distance".
    worst = forward["max_um"]
    assert _tolm.preserves_within(a, b, worst, res)
    if worst > 0:
        assert not _tolm.preserves_within(a, b, math.nextafter(worst, 0.0), res)


@settings(max_examples=40, deadline=None)
@given(a=random_plan, b=random_plan)
def test_iou_diff_is_symmetric_and_identity_is_identical(a, b):
    forward, backward = json.loads(_tolm.diff_programs(a, b)), json.loads(_tolm.diff_programs(b, a))
    assert [(r["z_um"], r["only_in_a"], r["only_in_b"], r["shared"]) for r in forward["layers"]] == [
        (r["z_um"], r["only_in_b"], r["only_in_a"], r["shared"]) for r in backward["layers"]]
    assert forward["iou"] == backward["iou"]
    itself = json.loads(_tolm.diff_programs(a, a))
    assert itself["identical"] and itself["iou"] in (1.0, None)
