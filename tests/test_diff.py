"""The material diff by intersection over union (`diff_programs`, `diff_gcode`)."""

import json
import math

import pytest

import _tolm
from lo_plans import cells_of, extrude, layer, program, square_outline, travel

LO_PREFIX_A = "invalid low-level program JSON (a): "
LO_PREFIX_B = "invalid low-level program JSON (b): "

SQUARE = program(square_outline(0, 0, 4000))
EMPTY = program()


def diff(a, b, res=200):
    return json.loads(_tolm.diff_programs(a, b, res))


def test_two_programs_without_layers():
    report = diff(EMPTY, EMPTY)
    assert report == {
        "resolution_um": 200,
        "identical": True,
        "both_empty": True,
        "iou": None,
        "total_only_in_a": 0,
        "total_only_in_b": 0,
        "total_shared": 0,
        "layers": [],
    }


def test_report_text_is_pretty_printed_in_field_order():
    text = _tolm.diff_programs(program(layer(200)), EMPTY, 7)
    assert text == (
        "{\n"
        '  "resolution_um": 7,\n'
        '  "identical": true,\n'
        '  "both_empty": true,\n'
        '  "iou": null,\n'
        '  "total_only_in_a": 0,\n'
        '  "total_only_in_b": 0,\n'
        '  "total_shared": 0,\n'
        '  "layers": [\n'
        "    {\n"
        '      "z_um": 200,\n'
        '      "only_in_a": 0,\n'
        '      "only_in_b": 0,\n'
        '      "shared": 0\n'
        "    }\n"
        "  ]\n"
        "}"
    )


def test_program_compared_with_itself():
    report = diff(SQUARE, SQUARE)
    n = len(cells_of(SQUARE)[0])
    assert report["identical"] and not report["both_empty"]
    assert report["iou"] == 1.0
    assert report["layers"] == [{"z_um": 200, "only_in_a": 0, "only_in_b": 0, "shared": n}]
    assert report["total_shared"] == n


def test_layers_without_deposit_give_zero_rows_per_distinct_z():
    plan = program(layer(200, travel([(0, 0), (5000, 0)])), layer(400), layer(200))
    report = diff(plan, plan)
    assert report["identical"] and report["both_empty"] and report["iou"] is None
    assert report["layers"] == [
        {"z_um": 200, "only_in_a": 0, "only_in_b": 0, "shared": 0},
        {"z_um": 400, "only_in_a": 0, "only_in_b": 0, "shared": 0},
    ]


def test_z_without_material_in_either_plan_still_has_a_row():
    a = program(square_outline(0, 0, 2000, z_um=200), layer(600))
    b = program(square_outline(0, 0, 2000, z_um=200))
    report = diff(a, b)
    assert [row["z_um"] for row in report["layers"]] == [200, 600]
    assert report["layers"][1] == {"z_um": 600, "only_in_a": 0, "only_in_b": 0, "shared": 0}
    assert report["identical"] and report["iou"] == 1.0


def test_same_material_at_another_z_matches_nothing():
    a = program(square_outline(0, 0, 4000, z_um=200))
    b = program(square_outline(0, 0, 4000, z_um=201))
    n = len(cells_of(a)[0])
    report = diff(a, b)
    assert report["layers"] == [
        {"z_um": 200, "only_in_a": n, "only_in_b": 0, "shared": 0},
        {"z_um": 201, "only_in_a": 0, "only_in_b": n, "shared": 0},
    ]
    assert not report["identical"] and report["iou"] == 0.0


def test_rows_ascend_by_z_whatever_the_layer_order():
    a = program(square_outline(0, 0, 1000, z_um=600), square_outline(0, 0, 1000, z_um=-200))
    b = program(square_outline(0, 0, 1000, z_um=200))
    assert [row["z_um"] for row in diff(a, b)["layers"]] == [-200, 200, 600]


def test_layers_sharing_a_z_are_united_before_counting():
    # Two overlapping strokes in two layers at one Z against the same strokes in one layer.
    first = extrude([(0, 0), (3000, 0)])
    second = extrude([(1000, 0), (1000, 3000)])
    split = program(layer(200, first), layer(200, second))
    joined = program(layer(200, first, second))
    report = diff(split, joined)
    union = cells_of(joined)[0]
    assert report["identical"] and report["iou"] == 1.0
    assert report["layers"] == [{"z_um": 200, "only_in_a": 0, "only_in_b": 0, "shared": len(union)}]


@pytest.mark.parametrize(
    "a, b",
    [
        pytest.param(SQUARE, program(square_outline(200, 0, 4000)), id="shift-one-cell"),
        pytest.param(SQUARE, program(square_outline(1000, 1000, 4000)), id="shift-diagonal"),
        pytest.param(
            program(square_outline(0, 0, 4000), square_outline(0, 0, 3000, z_um=400)),
            program(square_outline(0, 0, 4000, width=800), square_outline(500, 0, 3000, z_um=600)),
            id="wider-and-other-z",
        ),
        pytest.param(
            program(layer(200, extrude([(-3000, -3000), (3000, 2500)], 300))),
            program(layer(200, extrude([(-3000, 2500), (3000, -3000)], 500))),
            id="crossing-negative",
        ),
    ],
)
def test_counts_match_the_set_arithmetic_of_the_occupancy(a, b):
    report = diff(a, b)
    by_z = {}
    for plan, side in ((a, 0), (b, 1)):
        parsed = json.loads(plan)["layers"]
        for entry, cells in zip(parsed, cells_of(plan)):
            by_z.setdefault(entry["z_um"], [set(), set()])[side] |= cells
    expected = [
        {"z_um": z, "only_in_a": len(sa - sb), "only_in_b": len(sb - sa), "shared": len(sa & sb)}
        for z, (sa, sb) in sorted(by_z.items())
    ]
    assert report["layers"] == expected
    totals = [sum(row[k] for row in expected) for k in ("only_in_a", "only_in_b", "shared")]
    assert [report["total_only_in_a"], report["total_only_in_b"], report["total_shared"]] == totals
    assert report["iou"] == totals[2] / sum(totals)
    assert 0.0 < report["iou"] < 1.0
    assert not report["identical"]


@pytest.mark.parametrize("res", [0, -5])
def test_resolution_below_one_rasterizes_at_one_micron_and_echoes_the_argument(res):
    a = program(layer(200, extrude([(0, 0), (10, 0)], 4)))
    b = program(layer(200, extrude([(0, 0), (10, 3)], 4)))
    report = diff(a, b, res)
    assert report["resolution_um"] == res
    sa, sb = cells_of(a, 1)[0], cells_of(b, 1)[0]
    assert report["layers"] == [
        {"z_um": 200, "only_in_a": len(sa - sb), "only_in_b": len(sb - sa), "shared": len(sa & sb)}
    ]


def test_a_subset_is_not_identical():
    # A subset is not identical even though every cell of a is shared.
    small = program(layer(200, extrude([(0, 0), (1000, 0)])))
    large = program(layer(200, extrude([(0, 0), (2000, 0)])))
    report = diff(small, large)
    assert report["total_only_in_a"] == 0 and report["total_only_in_b"] > 0
    assert not report["identical"] and report["iou"] < 1.0


def test_travels_do_not_count():
    a = program(layer(200, extrude([(0, 0), (2000, 0)]), travel([(2000, 0), (9000, 9000)], 400)))
    b = program(layer(200, extrude([(0, 0), (2000, 0)])))
    assert diff(a, b)["identical"]


@pytest.mark.parametrize(
    "a, b, prefix",
    [
        pytest.param("{", "[", LO_PREFIX_A, id="both-bad-reports-a"),
        pytest.param("{}", SQUARE, LO_PREFIX_A, id="a-missing-layers"),
        pytest.param(SQUARE, '{"layers": 5}', LO_PREFIX_B, id="b-wrong-type"),
        pytest.param(SQUARE, '{"layers": []} x', LO_PREFIX_B, id="b-trailing"),
    ],
)
def test_read_errors_name_the_argument(a, b, prefix):
    with pytest.raises(ValueError) as info:
        _tolm.diff_programs(a, b)
    message = str(info.value)
    assert message.startswith(prefix)
    assert not message.startswith(prefix + "expected a LOW-LEVEL")
    assert " at line " in message and " column " in message


def test_missing_layers_error_names_the_field():
    with pytest.raises(ValueError, match=r"^invalid low-level program JSON \(a\): .*layers"):
        _tolm.diff_programs("{}", "{}")


@pytest.mark.parametrize(
    "kwargs, error",
    [
        ({"resolution_um": "200"}, TypeError),
        ({"resolution_um": None}, TypeError),
        ({"resolution_um": 2**70}, OverflowError),
    ],
)
def test_argument_conversion_errors(kwargs, error):
    with pytest.raises(error):
        _tolm.diff_programs(SQUARE, SQUARE, **kwargs)


def test_conversion_error_precedes_json_errors():
    with pytest.raises(TypeError, match="resolution_um"):
        _tolm.diff_programs("{", "{", "x")


def test_iou_pools_all_layers():
    # Layer 1: identical (n1 shared); layer 2: disjoint. IoU is the ratio of totals.
    a = program(square_outline(0, 0, 4000), layer(400, extrude([(0, 0), (1000, 0)])))
    b = program(square_outline(0, 0, 4000), layer(400, extrude([(50000, 0), (51000, 0)])))
    report = diff(a, b)
    n1 = report["layers"][0]["shared"]
    n2a, n2b = report["layers"][1]["only_in_a"], report["layers"][1]["only_in_b"]
    assert math.isclose(report["iou"], n1 / (n1 + n2a + n2b), rel_tol=0, abs_tol=0)


# ---------------------------------------------------------------------------------------------
# diff_gcode

GCODE_A = (
    "G21\nG90\nM83\n;LAYER_CHANGE\n;Z:0.2\n;TYPE:Perimeter\n;WIDTH:0.4\n"
    "G0 X0 Y0\nG1 X4 Y0 E0.1\nG1 X4 Y4 E0.1\n"
    ";LAYER_CHANGE\n;Z:0.4\nG0 X0 Y0\nG1 X4 Y0 E0.1\n"
)


def test_diff_gcode_matches_diff_of_the_parsed_programs():
    b = GCODE_A.replace("G1 X4 Y4", "G1 X5 Y4").replace(";Z:0.4", ";Z:0.6")
    expected = _tolm.diff_programs(_tolm.parse_gcode(GCODE_A)[0], _tolm.parse_gcode(b)[0], 100)
    assert _tolm.diff_gcode(GCODE_A, b, 100) == expected
    report = json.loads(expected)
    assert [row["z_um"] for row in report["layers"]] == [200, 400, 600]
    assert 0.0 < report["iou"] < 1.0


def test_diff_gcode_of_a_text_with_itself_and_of_emitted_text():
    assert json.loads(_tolm.diff_gcode(GCODE_A, GCODE_A))["identical"] is True
    demo = _tolm.demo_square_gcode()
    report = json.loads(_tolm.diff_gcode(demo, _tolm.program_to_gcode(_tolm.demo_square_json())))
    assert report["identical"] and report["iou"] == 1.0


@pytest.mark.parametrize(
    "a, b",
    [pytest.param("", "", id="empty"), pytest.param("garbage\nG1 X(\n", "M104 S200\n", id="garbage")],
)
def test_diff_gcode_never_raises_for_bad_text(a, b):
    report = json.loads(_tolm.diff_gcode(a, b, resolution_um=-1))
    assert report == {"resolution_um": -1, "identical": True, "both_empty": True, "iou": None,
                      "total_only_in_a": 0, "total_only_in_b": 0, "total_shared": 0, "layers": []}


def test_diff_gcode_argument_errors():
    with pytest.raises(TypeError, match="b"):
        _tolm.diff_gcode("", None)


@pytest.mark.parametrize(
    "name, doc",
    [
        ("diff_programs",
         "Compare two low-level programs (JSON, as from `lower_to_json`) by the material they deposit.\n"
         "Returns a JSON report including a scalar `iou` similarity (1.0 identical, 0.0 disjoint, null if\n"
         "both empty) and a per-layer breakdown. General-purpose: regression tests, optimizer/agent scoring,\n"
         "or comparing any two move plans without going through G-code text."),
        ("diff_gcode",
         "Compare two G-code files by the material they deposit (matched by layer height). Returns a JSON\n"
         "report (per-layer differences, totals, identical flag)."),
        ("graded_diff",
         "Graded (distance-based) difference of two LOW-LEVEL programs (JSON): for each cell one deposits\n"
         "and the other does not, the Euclidean distance (microns) to the nearest cell of the other, as\n"
         "mean/p95/max per layer and overall. Unlike IoU it stays informative when the two are disjoint (a\n"
         "near miss scores small) \u2014 a smooth reward signal and the basis for rotation-aware comparison."),
        ("graded_diff_gcode", "Graded (distance-based) difference of two G-code files. See `graded_diff`."),
    ],
)
def test_docstrings(name, doc):
    function = getattr(_tolm, name)
    assert function.__doc__ == doc
