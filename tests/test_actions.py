"""Edit actions: the enumeration order, the JSON form and the application of every variant."""

import json

import pytest

import _tolm
from plans import SQUARE, extrude, layer, points_of, program, travel

I64_MIN = -(2**63)
I64_MAX = 2**63 - 1


def actions_of(program_json):
    return json.loads(_tolm.legal_actions(program_json))


def names_and_fields(actions):
    """Each action as (variant, tuple of field values) for compact comparisons."""
    out = []
    for action in actions:
        ((name, fields),) = action.items()
        out.append((name, tuple(fields.values())))
    return out


def apply(program_json, action):
    return _tolm.apply_action(program_json, json.dumps(action))


# ---- enumeration --------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "plan",
    [program(), program(layer(200), layer(400))],
    ids=["no-layers", "empty-layers"],
)
def test_nothing_to_offer_is_an_empty_list(plan):
    assert _tolm.legal_actions(plan) == "[]"


def test_single_point_toolpath_offers_only_its_reversal():
    plan = program(layer(200, extrude([(5, 5)])))
    assert names_and_fields(actions_of(plan)) == [("ReversePath", (0, 0))]


def test_order_moves_come_first_then_geometry_per_toolpath_then_next_layer():
    plan = program(
        layer(200, extrude([(0, 0), (10, 0)]), travel([(0, 0), (4, 0)])),
        layer(400, extrude([(1, 1)])),
    )
    assert names_and_fields(actions_of(plan)) == [
        ("ReversePath", (0, 0)),
        ("SwapToolpaths", (0, 0, 1)),
        ("ReversePath", (0, 1)),
        ("SplitSegment", (0, 0, 0, 500)),
        ("SplitSegment", (0, 1, 0, 500)),
        ("ReversePath", (1, 0)),
    ]


def test_three_toolpaths_offer_neighbouring_swaps_only():
    plan = program(layer(0, extrude([(0, 0)]), extrude([(1, 1)]), extrude([(3, 3)])))
    assert names_and_fields(actions_of(plan)) == [
        ("ReversePath", (0, 0)),
        ("SwapToolpaths", (0, 0, 1)),
        ("ReversePath", (0, 1)),
        ("SwapToolpaths", (0, 1, 2)),
        ("ReversePath", (0, 2)),
    ]


@pytest.mark.parametrize(
    "points, geometry",
    [
        ([(0, 0), (10, 0)], [("SplitSegment", (0, 0, 0, 500))]),
        ([(0, 0), (3, 0)], []),
        ([(5, 5), (5, 5)], []),
        ([(0, 0), (2, 3)], []),
        ([(-4, -2), (0, 0)], [("SplitSegment", (0, 0, 0, 500))]),
        ([(I64_MIN, 0), (I64_MAX - 1, 0)], [("SplitSegment", (0, 0, 0, 500))]),
        (
            [(0, 0), (10, 0), (20, 0)],
            [("SplitSegment", (0, 0, 0, 500)), ("SplitSegment", (0, 0, 1, 500)), ("MergeCollinear", (0, 0))],
        ),
        (
            SQUARE,
            [("SplitSegment", (0, 0, s, 500)) for s in range(4)]
            + [("RelocateSeam", (0, 0, v)) for v in (1, 2, 3)],
        ),
        (
            [(0, 0), (10, 0), (0, 0)],
            [("SplitSegment", (0, 0, 0, 500)), ("SplitSegment", (0, 0, 1, 500)), ("RelocateSeam", (0, 0, 1))],
        ),
        ([(0, 0), (10, 0), (5, 0)], [("SplitSegment", (0, 0, 0, 500))]),
        ([(0, 0), (0, 0), (4, 0)], [("SplitSegment", (0, 0, 1, 500)), ("MergeCollinear", (0, 0))]),
        # Only the first collinear window counts: one merge per toolpath.
        ([(0, 0), (1, 1), (2, 2), (3, 3)], [("MergeCollinear", (0, 0))]),
        # Three distinct points do not close the path: no seam moves.
        ([(0, 0), (2, 0), (2, 2)], [("SplitSegment", (0, 0, 0, 500)), ("SplitSegment", (0, 0, 1, 500))]),
        # Cross products near the int64 limits must not overflow: b is off the line by one.
        ([(I64_MIN, I64_MIN), (I64_MAX - 1, I64_MAX), (I64_MAX, I64_MAX)], []),
        (
            [(I64_MIN, I64_MIN), (0, 0), (I64_MAX, I64_MAX)],
            [("SplitSegment", (0, 0, 0, 500)), ("MergeCollinear", (0, 0))],
        ),
    ],
    ids=[
        "even-segment",
        "odd-segment",
        "zero-length",
        "odd-y",
        "negative-even",
        "extreme-even",
        "straight-open",
        "closed-square",
        "out-and-back",
        "collinear-beyond",
        "repeated-point",
        "one-merge-only",
        "open-triangle",
        "extreme-not-collinear",
        "extreme-collinear",
    ],
)
def test_geometry_moves_of_one_toolpath(points, geometry):
    got = names_and_fields(actions_of(program(layer(200, extrude(points)))))
    assert got[0] == ("ReversePath", (0, 0))
    assert got[1:] == geometry


def test_travel_is_offered_the_same_actions_as_an_extrusion():
    pts = [(0, 0), (10, 0), (20, 0), (0, 0)]
    as_travel = actions_of(program(layer(200, travel(pts, width=7))))
    as_extrusion = actions_of(program(layer(200, extrude(pts, width=400, flow=1.5))))
    assert as_travel == as_extrusion
    assert len(as_travel) > 1


def test_permute_is_never_enumerated_and_every_action_applies():
    # One real plan is enough to exercise every variant the enumeration produces.
    plan = program(
        layer(200, extrude(SQUARE), extrude([(0, 0), (2, 0), (4, 0)]), travel([(0, 0), (0, 0), (6, 0)])),
        layer(400),
        layer(600, extrude([(1, 1), (3, 3), (1, 1)])),
    )
    actions = actions_of(plan)
    kinds = {next(iter(a)) for a in actions}
    assert "PermuteToolpaths" not in kinds
    assert kinds == {"ReversePath", "SwapToolpaths", "SplitSegment", "MergeCollinear", "RelocateSeam"}
    for action in actions:
        _, touched = apply(plan, action)
        assert touched == [next(iter(action.values()))["layer"]]


def test_action_json_is_externally_tagged_pretty_and_in_field_order():
    text = _tolm.legal_actions(program(layer(200, extrude([(0, 0), (2, 0)]))))
    assert text == (
        "[\n"
        "  {\n"
        '    "ReversePath": {\n'
        '      "layer": 0,\n'
        '      "toolpath": 0\n'
        "    }\n"
        "  },\n"
        "  {\n"
        '    "SplitSegment": {\n'
        '      "layer": 0,\n'
        '      "toolpath": 0,\n'
        '      "segment": 0,\n'
        '      "t_permille": 500\n'
        "    }\n"
        "  }\n"
        "]"
    )


# ---- reading actions ----------------------------------------------------------------------------

PLAN = program(layer(200, extrude(SQUARE), extrude([(0, 0), (8, 4)])))


@pytest.mark.parametrize(
    "text, fragment",
    [
        ('{"ReversePath": {"layer": 0}}', "missing field `toolpath`"),
        ('{"ReversePath": {"layer": 0, "layer": 0, "toolpath": 0}}', "duplicate field `layer`"),
        ('{"Reverse": {"layer": 0, "toolpath": 0}}', "unknown variant `Reverse`"),
        ('"ReversePath"', 'string "ReversePath"'),
        ('{"ReversePath": {"layer": -1, "toolpath": 0}}', "`-1`"),
        ('{"ReversePath": {"layer": 0.5, "toolpath": 0}}', "`0.5`"),
        ('{"ReversePath": {"layer": 18446744073709551616, "toolpath": 0}}', "`18446744073709551616`"),
        ('{"SplitSegment": [0, 0, 0, 65536]}', "`65536`"),
        ('{"ReversePath": [0]}', "invalid length 1"),
        ('{"ReversePath": [0, 0, 0]}', "invalid length 3"),
        ('{"ReversePath": [0, 0], "MergeCollinear": [0, 0]}', "single key"),
        ("{}", "single key"),
        ('{"ReversePath": null}', "null"),
        ('{"PermuteToolpaths": {"layer": 0, "perm": [0, 1.0]}}', "`1.0`"),
        ('{"ReversePath": [0, 0]} x', "trailing characters"),
        ("[0, 0]", "sequence"),
    ],
)
def test_malformed_action_json_is_a_value_error_with_the_reader_text(text, fragment):
    with pytest.raises(ValueError) as info:
        _tolm.apply_action(PLAN, text)
    message = str(info.value)
    assert message.startswith("invalid action JSON; ")
    assert fragment in message
    assert " at line 1 column " in message


@pytest.mark.parametrize(
    "text, expected_points",
    [
        ('{"ReversePath": [0, 1]}', [(8, 4), (0, 0)]),
        ('{"ReversePath": {"toolpath": 1, "layer": 0, "comment": [1, {"x": 2}]}}', [(8, 4), (0, 0)]),
        ('{"SplitSegment": {"t_permille": 250, "segment": 0, "toolpath": 1, "layer": 0}}', [(0, 0), (2, 1), (8, 4)]),
        ('{"SplitSegment": [0, 1, 0, 65535]}', None),
    ],
    ids=["array-form", "keys-any-order-unknown-skipped", "object-any-order", "u16-max-reads"],
)
def test_accepted_action_forms(text, expected_points):
    if expected_points is None:
        with pytest.raises(ValueError, match="^action failed: NotApplicable$"):
            _tolm.apply_action(PLAN, text)
        return
    new_plan, touched = _tolm.apply_action(PLAN, text)
    assert touched == [0]
    assert points_of(new_plan, 0, 1) == expected_points


def test_program_error_is_reported_before_action_error():
    with pytest.raises(ValueError) as info:
        _tolm.apply_action("{", "not json either")
    assert str(info.value).startswith("expected a LOW-LEVEL program JSON (layers of toolpaths")


def test_actions_round_trip_through_their_json():
    plan = program(layer(200, extrude(SQUARE), extrude([(0, 0), (2, 0), (4, 0)])))
    for action in actions_of(plan):
        text = json.dumps(action)
        assert apply(plan, action) == _tolm.apply_action(plan, text)


# ---- application --------------------------------------------------------------------------------


def one(points, *more):
    return program(layer(200, extrude(points), *[extrude(p) for p in more]))


@pytest.mark.parametrize(
    "points, action, expected",
    [
        ([(5, 5)], {"ReversePath": [0, 0]}, [(5, 5)]),
        ([], {"ReversePath": [0, 0]}, []),
        ([(0, 0), (1, 2), (3, 3)], {"ReversePath": [0, 0]}, [(3, 3), (1, 2), (0, 0)]),
        ([(0, 0), (8, 4)], {"SplitSegment": [0, 0, 0, 250]}, [(0, 0), (2, 1), (8, 4)]),
        ([(10, 0), (0, 0)], {"SplitSegment": [0, 0, 0, 500]}, [(10, 0), (5, 0), (0, 0)]),
        ([(0, 0), (0, 0), (4, 0)], {"SplitSegment": [0, 0, 1, 500]}, [(0, 0), (0, 0), (2, 0), (4, 0)]),
        ([(-3, 7), (-3, -993)], {"SplitSegment": [0, 0, 0, 1]}, [(-3, 7), (-3, 6), (-3, -993)]),
        ([(I64_MIN, 0), (I64_MAX - 1, 0)], {"SplitSegment": [0, 0, 0, 500]}, [(I64_MIN, 0), (-1, 0), (I64_MAX - 1, 0)]),
        ([(0, 0), (5, 0), (10, 0), (10, 5), (10, 10)], {"MergeCollinear": [0, 0]}, [(0, 0), (10, 0), (10, 10)]),
        ([(0, 0), (1, 0), (2, 0), (1, 0)], {"MergeCollinear": [0, 0]}, [(0, 0), (2, 0), (1, 0)]),
        ([(0, 0), (1, 0), (2, 0), (3, 0), (4, 0)], {"MergeCollinear": [0, 0]}, [(0, 0), (4, 0)]),
        ([(0, 0), (0, 0), (0, 0)], {"MergeCollinear": [0, 0]}, [(0, 0), (0, 0)]),
        (SQUARE, {"RelocateSeam": [0, 0, 2]}, [(10, 10), (0, 10), (0, 0), (10, 0), (10, 10)]),
        (SQUARE, {"RelocateSeam": [0, 0, 0]}, SQUARE),
        (SQUARE, {"RelocateSeam": [0, 0, 3]}, [(0, 10), (0, 0), (10, 0), (10, 10), (0, 10)]),
    ],
    ids=[
        "reverse-single-point",
        "reverse-empty",
        "reverse",
        "split-quarter",
        "split-reversed-segment",
        "split-after-zero-length",
        "split-one-permille",
        "split-extreme",
        "merge-two-runs",
        "merge-keeps-point-beyond",
        "merge-long-run-in-one-go",
        "merge-repeated",
        "seam-2",
        "seam-0-same-path",
        "seam-last",
    ],
)
def test_geometry_edits(points, action, expected):
    new_plan, touched = apply(one(points), action)
    assert touched == [0]
    assert points_of(new_plan, 0, 0) == expected


@pytest.mark.parametrize(
    "action, error",
    [
        ({"ReversePath": [1, 0]}, "InvalidLayer"),
        ({"SwapToolpaths": [5, 99, 99]}, "InvalidLayer"),
        ({"PermuteToolpaths": [2**64 - 1, []]}, "InvalidLayer"),
        ({"SplitSegment": [1, 0, 0, 500]}, "InvalidLayer"),
        ({"MergeCollinear": [1, 0]}, "InvalidLayer"),
        ({"RelocateSeam": [1, 7, 7]}, "InvalidLayer"),
        ({"ReversePath": [0, 2]}, "InvalidToolpath"),
        ({"SwapToolpaths": [0, 0, 2]}, "InvalidToolpath"),
        ({"SwapToolpaths": [0, 2, 0]}, "InvalidToolpath"),
        ({"SplitSegment": [0, 2, 0, 500]}, "InvalidToolpath"),
        ({"MergeCollinear": [0, 2]}, "InvalidToolpath"),
        ({"RelocateSeam": [0, 2, 1]}, "InvalidToolpath"),
        ({"PermuteToolpaths": [0, [0, 0]]}, "NotApplicable"),
        ({"PermuteToolpaths": [0, [0, 2]]}, "NotApplicable"),
        ({"PermuteToolpaths": [0, [0]]}, "NotApplicable"),
        ({"PermuteToolpaths": [0, [1, 0, 2]]}, "NotApplicable"),
        ({"SplitSegment": [0, 0, 4, 500]}, "InvalidSegment"),
        ({"SplitSegment": [0, 0, 2**64 - 1, 500]}, "InvalidSegment"),
        ({"SplitSegment": [0, 1, 0, 333]}, "NotApplicable"),
        ({"SplitSegment": [0, 0, 0, 0]}, "NotApplicable"),
        ({"SplitSegment": [0, 0, 0, 1000]}, "NotApplicable"),
        ({"SplitSegment": [0, 0, 0, 65535]}, "NotApplicable"),
        ({"SplitSegment": [0, 0, 0, 1]}, "NotApplicable"),
        ({"MergeCollinear": [0, 0]}, "NotApplicable"),
        ({"MergeCollinear": [0, 1]}, "NotApplicable"),
        ({"RelocateSeam": [0, 0, 4]}, "InvalidVertex"),
        ({"RelocateSeam": [0, 1, 0]}, "NotApplicable"),
        ({"RelocateSeam": [0, 1, 99]}, "NotApplicable"),
    ],
)
def test_refused_actions_name_their_error(action, error):
    # Toolpath 0 is the closed square, toolpath 1 the open two-point path (0,0)->(3,0).
    plan = one(SQUARE, [(0, 0), (3, 0)])
    with pytest.raises(ValueError) as info:
        apply(plan, action)
    assert str(info.value) == "action failed: " + error


def test_swap_moves_whole_toolpaths_and_equal_indices_change_nothing():
    plan = program(layer(200, extrude([(0, 0)], width=300, role="Skin", flow=0.5), travel([(1, 1), (2, 2)])))
    swapped, touched = apply(plan, {"SwapToolpaths": [0, 1, 0]})
    assert touched == [0]
    toolpaths = json.loads(swapped)["layers"][0]["toolpaths"]
    original = json.loads(plan)["layers"][0]["toolpaths"]
    assert toolpaths == [original[1], original[0]]
    same, _ = apply(plan, {"SwapToolpaths": [0, 1, 1]})
    assert json.loads(same) == json.loads(plan)


def test_permute_reorders_by_old_index():
    a, b, c = extrude([(0, 0)]), travel([(1, 1), (2, 2)]), extrude([(3, 3)], role="Infill")
    plan = program(layer(200, a, b, c), layer(400, extrude([(9, 9)])))
    new_plan, touched = apply(plan, {"PermuteToolpaths": {"layer": 0, "perm": [2, 0, 1]}})
    assert touched == [0]
    assert json.loads(new_plan)["layers"][0]["toolpaths"] == [c, a, b]
    assert json.loads(new_plan)["layers"][1] == json.loads(plan)["layers"][1]


def test_permute_of_an_empty_layer_with_an_empty_list_succeeds():
    plan = program(layer(200))
    new_plan, touched = apply(plan, {"PermuteToolpaths": [0, []]})
    assert touched == [0]
    assert json.loads(new_plan) == json.loads(plan)


def test_edits_keep_kind_width_and_flow():
    plan = program(layer(200, extrude([(0, 0), (4, 0), (8, 0), (0, 0)], width=321, role="Support", flow=2.5)))
    for action in actions_of(plan):
        new_plan, _ = apply(plan, action)
        tp = json.loads(new_plan)["layers"][0]["toolpaths"][0]
        assert (tp["kind"], tp["width_um"], tp["flow_e"]) == ({"Extrude": "Support"}, 321, 2.5)
