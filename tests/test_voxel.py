"""Voxelization, the exact quarter turns and turning a plan about Z."""

import json
import math
import re

import pytest
from hypothesis import assume, given, settings
from hypothesis import strategies as st

import _tolm
from conftest import corpus_params

INT64_MIN = -(2**63)
INT64_MAX = 2**63 - 1
VOXELS_PREFIX = "expected a voxel-set JSON (array of [i, j, k], e.g. from voxelize()); "
LO_PREFIX = (
    "expected a LOW-LEVEL program JSON (layers of toolpaths, e.g. from lower_to_json() or "
    "parse_gcode()); "
)


def toolpath(points, width=400, role="Perimeter", flow=None):
    record = {
        "kind": "Travel" if role is None else {"Extrude": role},
        "path": {"points": [{"x": x, "y": y} for x, y in points]},
        "width_um": width,
    }
    if flow is not None:
        record["flow_e"] = flow
    return record


def program(*layers):
    """layers: (z_um, [toolpath, ...]) pairs."""
    return json.dumps({"layers": [{"z_um": z, "toolpaths": list(paths)} for z, paths in layers]})


def voxels(text):
    return [tuple(v) for v in json.loads(text)]


def voxels_json(items):
    return json.dumps([list(v) for v in items])


def cells(program_json, resolution_um):
    """Per-layer occupied cells, from the occupancy raster."""
    layers = json.loads(_tolm.occupancy(program_json, resolution_um))["layers"]
    return [[tuple(c) for c in layer["cells"]] for layer in layers]


def flip(n):
    return -n - 1


# A short bead: several cells in a row and a few neighbours, enough to show any mix-up of i and j.
BEAD = [toolpath([(100, 100), (900, 300)], width=300)]


class TestVoxelize:
    @pytest.mark.parametrize(
        "z, height, resolution, expected_k",
        [
            (200, 200, 200, [0]),
            (400, 200, 200, [1]),
            (200, 200, 100, [0, 1]),
            (250, 50, 200, [1]),  # bottom and top both 1: the single index bottom
            (1000, 1000, 200, [0, 1, 2, 3, 4]),
            (0, 200, 200, [-1]),
            (-100, 200, 200, [-2]),  # floor division below zero, not truncation
            (200, 0, 200, [0]),  # heights below 1 count as 1: floor((Z - 1) / r)
            (400, -50, 200, [1]),
            (200, 1, 200, [0]),
            (199, 1, 200, [0]),
            (201, 1, 200, [1]),
        ],
    )
    def test_layer_fills_its_height_range(self, z, height, resolution, expected_k):
        plan = program((z, BEAD))
        (layer_cells,) = cells(plan, resolution)
        expected = sorted((i, j, k) for i, j in layer_cells for k in expected_k)
        assert voxels(_tolm.voxelize(plan, resolution, height)) == expected

    def test_heights_are_derived_from_consecutive_z_in_list_order(self):
        # The first layer is its own Z high; the next ones reach down to the previous layer.
        plan = program((400, BEAD), (600, BEAD), (1200, BEAD))
        layer_cells, _, _ = cells(plan, 200)
        expected = sorted((i, j, k) for i, j in layer_cells for k in range(6))
        assert voxels(_tolm.voxelize(plan)) == expected

    def test_decreasing_z_gives_later_layers_height_one(self):
        high = [toolpath([(100, 100)], width=0)]
        low = [toolpath([(500, 100)], width=0)]
        plan = program((600, high), (400, low), (200, low))
        # 600 fills 0..2 (its own Z as height); 400 and 200 fill floor((Z - 1) / 200) only.
        assert voxels(_tolm.voxelize(plan)) == [
            (0, 0, 0),
            (0, 0, 1),
            (0, 0, 2),
            (2, 0, 0),
            (2, 0, 1),
        ]

    def test_layer_without_extrusions_still_sets_the_next_height(self):
        dot = [toolpath([(100, 100)], width=0)]
        travel_only = [toolpath([(0, 0), (5000, 5000)], role=None)]
        plan = program((200, dot), (400, travel_only), (600, dot))
        assert voxels(_tolm.voxelize(plan)) == [(0, 0, 0), (0, 0, 2)]

    def test_first_layer_at_zero_fills_the_index_below(self):
        plan = program((0, [toolpath([(100, 100)], width=0)]))
        assert voxels(_tolm.voxelize(plan)) == [(0, 0, -1)]

    def test_layers_at_one_z_are_merged(self):
        a = [toolpath([(100, 100), (700, 100)], width=0)]
        b = [toolpath([(500, 100), (500, 700)], width=0)]
        plan = program((200, a), (200, b))
        expected = sorted({(i, 0, 0) for i in range(4)} | {(2, j, 0) for j in range(4)})
        assert voxels(_tolm.voxelize(plan)) == expected

    def test_overlapping_heights_are_merged(self):
        dot = [toolpath([(100, 100)], width=0)]
        plan = program((600, dot), (800, dot), (400, dot))
        # 0..2, then 3, then the 400 layer (height 1) repeats index 1: no duplicates, in order.
        assert voxels(_tolm.voxelize(plan)) == [(0, 0, k) for k in range(4)]

    @pytest.mark.parametrize(
        "plan",
        [
            program(),
            program((200, [])),
            program((200, [toolpath([(0, 0), (1000, 0)], role=None)])),
            program((200, [toolpath([])])),
        ],
        ids=["no-layers", "empty-layer", "travel-only", "empty-path"],
    )
    def test_nothing_deposited_is_the_empty_set(self, plan):
        assert _tolm.voxelize(plan) == "[]"
        assert _tolm.voxelize(plan, 100, 50) == "[]"

    @pytest.mark.parametrize("resolution", [0, -5, INT64_MIN])
    def test_resolution_below_one_counts_as_one(self, resolution):
        plan = program((3, [toolpath([(0, 0), (2, 1)], width=1)]))
        assert _tolm.voxelize(plan, resolution) == _tolm.voxelize(plan, 1)

    def test_output_is_ordered_and_written_one_number_per_line(self):
        plan = program((400, [toolpath([(100, 100)], width=0)]))
        assert _tolm.voxelize(plan) == (
            "[\n  [\n    0,\n    0,\n    0\n  ],\n  [\n    0,\n    0,\n    1\n  ]\n]"
        )

    def test_multi_layer_plan_matches_the_occupancy(self):
        # Slanted beads at rising Z: every layer's cells over its own index range.
        layers = [
            (200 * (n + 1), [toolpath([(0, 0 + 150 * n), (3000, 1000 + 150 * n)], width=450)])
            for n in range(12)
        ]
        plan = program(*layers)
        expected = {(i, j, k) for k, layer in enumerate(cells(plan, 200)) for i, j in layer}
        assert voxels(_tolm.voxelize(plan, 200)) == sorted(expected)

    @pytest.mark.parametrize(
        "z, height, expected_k",
        [
            # floor((INT64_MIN - 1) / 1) is below the int64 range: the lowest index saturates.
            (INT64_MIN, 1, [INT64_MIN]),
            (INT64_MAX, 1, [INT64_MAX - 1]),
            (INT64_MAX, 2, [INT64_MAX - 2, INT64_MAX - 1]),
        ],
    )
    def test_extreme_heights_do_not_wrap(self, z, height, expected_k):
        plan = program((z, [toolpath([(0, 0)], width=0)]))
        got = voxels(_tolm.voxelize(plan, 1, height))
        assert sorted({v[2] for v in got}) == expected_k

    def test_derived_height_across_the_whole_int64_range_does_not_wrap(self):
        dot = [toolpath([(2**61, 2**61)], width=0)]  # the centre of cell (0, 0)
        # The second height, INT64_MAX - 5 - (INT64_MIN + 10), does not fit in int64: the layer
        # still reaches down to the first one (a wrapped height would fill index 1 alone).
        plan = program((INT64_MIN + 10, dot), (INT64_MAX - 5, dot))
        assert voxels(_tolm.voxelize(plan, 2**62)) == [(0, 0, -2), (0, 0, -1), (0, 0, 0)]

    def test_set_beyond_the_machine_memory_is_refused_up_front(self):
        # 10^15 heights of one cell at 1 um: refused before anything is allocated.
        plan = program((10**15, [toolpath([(0, 0)], width=0)]))
        with pytest.raises(MemoryError):
            _tolm.voxelize(plan, 1, 10**15)

    def test_bad_program_raises_with_the_low_level_prefix(self):
        with pytest.raises(ValueError) as info:
            _tolm.voxelize("[]")
        assert str(info.value).startswith(LO_PREFIX)
        assert re.search(r" at line \d+ column \d+$", str(info.value))

    @pytest.mark.parametrize(
        "kwargs, message",
        [
            ({"resolution_um": "200"}, "resolution_um"),
            ({"layer_height_um": 1.5}, "layer_height_um"),
            ({"bogus": 1}, "bogus"),
        ],
    )
    def test_argument_errors(self, kwargs, message):
        with pytest.raises(TypeError, match=message):
            _tolm.voxelize(program(), **kwargs)

    def test_layer_height_none_means_derived(self):
        plan = program((400, BEAD), (800, BEAD))
        assert _tolm.voxelize(plan, 200, None) == _tolm.voxelize(plan)
        assert _tolm.voxelize(plan, 200, None) != _tolm.voxelize(plan, 200, 200)


TURNS = {
    "rot_x90": lambda i, j, k: (i, flip(k), j),
    "rot_y90": lambda i, j, k: (k, j, flip(i)),
    "rot_z90": lambda i, j, k: (flip(j), i, k),
}


def reference_turn(name, items):
    return sorted({TURNS[name](*v) for v in items})


small = st.integers(-6, 6)
wide = st.integers(INT64_MIN, INT64_MAX)
voxel_lists = st.lists(st.tuples(small, small, small), max_size=80) | st.lists(
    st.tuples(wide | small, wide | small, wide | small), max_size=30
)


class TestQuarterTurns:
    @pytest.mark.parametrize(
        "name, voxel, expected",
        [
            ("rot_z90", (0, 0, 0), (-1, 0, 0)),
            ("rot_x90", (0, 0, 0), (0, -1, 0)),
            ("rot_y90", (0, 0, 0), (0, 0, -1)),
            ("rot_z90", (1, 2, 3), (-3, 1, 3)),
            ("rot_x90", (1, 2, 3), (1, -4, 2)),
            ("rot_y90", (1, 2, 3), (3, 2, -2)),
            ("rot_z90", (INT64_MIN, INT64_MAX, 0), (INT64_MIN, INT64_MIN, 0)),
            ("rot_x90", (0, 0, INT64_MIN), (0, INT64_MAX, 0)),
            ("rot_y90", (INT64_MAX, 0, INT64_MAX), (INT64_MAX, 0, INT64_MIN)),
        ],
    )
    def test_single_voxel(self, name, voxel, expected):
        assert voxels(getattr(_tolm, name)(voxels_json([voxel]))) == [expected]

    @pytest.mark.parametrize("name", sorted(TURNS))
    def test_duplicates_and_disorder_come_back_as_a_set(self, name):
        given_items = [(2, 0, 1), (0, 0, 0), (2, 0, 1), (-1, 3, 0), (0, 0, 0)]
        got = voxels(getattr(_tolm, name)(voxels_json(given_items)))
        assert got == reference_turn(name, given_items)
        assert len(got) == 3

    @pytest.mark.parametrize("name", sorted(TURNS))
    def test_empty_set(self, name):
        assert getattr(_tolm, name)("[]") == "[]"
        assert getattr(_tolm, name)(" [ ] ") == "[]"

    @pytest.mark.parametrize("name", sorted(TURNS))
    @given(items=voxel_lists)
    @settings(deadline=None)
    def test_matches_the_index_map(self, name, items):
        assert voxels(getattr(_tolm, name)(voxels_json(items))) == reference_turn(name, items)

    @pytest.mark.parametrize("name", sorted(TURNS))
    @given(items=voxel_lists)
    @settings(deadline=None)
    def test_written_in_the_two_space_layout(self, name, items):
        # One number per line, two spaces per level, no trailing newline: what json.dumps gives
        # with indent=2 for nested integer lists.
        expected = [list(v) for v in reference_turn(name, items)]
        assert getattr(_tolm, name)(voxels_json(items)) == json.dumps(expected, indent=2)

    @pytest.mark.parametrize("name", sorted(TURNS))
    @given(items=voxel_lists)
    @settings(deadline=None)
    def test_four_turns_are_the_identity(self, name, items):
        turn = getattr(_tolm, name)
        text = voxels_json(items)
        once = turn(text)
        four = turn(turn(turn(once)))
        assert voxels(four) == sorted(set(items))
        assert len(voxels(once)) == len(set(items))

    @pytest.mark.parametrize("name", sorted(TURNS))
    def test_solid_block_spanning_many_slabs(self, name):
        # Large enough that every reordering pass sorts real runs of keys.
        items = [
            (i, j, k)
            for i in range(-7, 9)
            for j in range(-5, 13)
            for k in range(0, 11)
            if (i * j + k) % 5
        ]
        assert voxels(getattr(_tolm, name)(voxels_json(items))) == reference_turn(name, items)

    @pytest.mark.parametrize(
        "text, detail",
        [
            ("{}", "invalid type: map"),
            ("[[1, 2]]", "invalid length 2"),
            ("[[1, 2, 3, 4]]", "invalid length 4"),
            ("[[1, 2.5, 3]]", "2.5"),
            ("[[1, 2, 3e0]]", "3e0"),
            ("[1, 2, 3]", "integer `1`"),
            ('[["1", 2, 3]]', 'string "1"'),
            ("[[9223372036854775808, 0, 0]]", "9223372036854775808"),
            ("[[0, 0, 0]] 5", "trailing characters"),
            ("[[0, 0, 0]", "EOF"),
            ("", "EOF"),
            ("null", "null"),
        ],
    )
    @pytest.mark.parametrize("name", sorted(TURNS))
    def test_malformed_sets_raise_with_the_voxel_prefix(self, name, text, detail):
        with pytest.raises(ValueError) as info:
            getattr(_tolm, name)(text)
        message = str(info.value)
        assert message.startswith(VOXELS_PREFIX)
        assert detail in message
        assert re.search(r" at line \d+ column \d+$", message)

    def test_error_position_points_at_the_bad_element(self):
        with pytest.raises(ValueError) as info:
            _tolm.rot_z90("[[1, 2, 3],\n [4, 5]]")
        assert str(info.value) == (
            VOXELS_PREFIX
            + "invalid length 2, expected a voxel [i, j, k] of 3 integers at line 2 column 2"
        )

    @pytest.mark.parametrize("name", sorted(TURNS))
    def test_argument_must_be_a_str(self, name):
        with pytest.raises(TypeError, match="voxels_json"):
            getattr(_tolm, name)([[0, 0, 0]])


def point_list(program_json):
    plan = json.loads(program_json)
    return [
        [[(p["x"], p["y"]) for p in tp["path"]["points"]] for tp in layer["toolpaths"]]
        for layer in plan["layers"]
    ]


class TestRotateZ:
    def test_zero_turn_keeps_everything(self):
        plan = program(
            (200, [toolpath([(5, -7), (1000, 3)], width=420, role="Infill", flow=0.125)]),
            (100, [toolpath([(1, 2), (3, 4)], role=None, width=0), toolpath([])]),
            (400, [toolpath([(INT64_MIN, INT64_MAX)], role="Support", flow=-0.0)]),
        )
        assert json.loads(_tolm.rotate_z(plan, 0.0)) == json.loads(plan)

    def test_quarter_turn(self):
        plan = program((200, [toolpath([(1000, 0), (0, 1000), (-3, 7)])]))
        assert point_list(_tolm.rotate_z(plan, math.pi / 2)) == [
            [[(0, 1000), (-1000, 0), (-7, -3)]]
        ]

    def test_half_turn_keeps_z_kind_width_and_flow(self):
        plan = program(
            (600, [toolpath([(1000, 250)], width=333, role="Skin", flow=2.5)]),
            (200, [toolpath([(-40, 0), (0, -40)], role=None, width=0)]),
        )
        turned = json.loads(_tolm.rotate_z(plan, math.pi))
        original = json.loads(plan)
        original["layers"][0]["toolpaths"][0]["path"]["points"] = [{"x": -1000, "y": -250}]
        original["layers"][1]["toolpaths"][0]["path"]["points"] = [
            {"x": 40, "y": 0},
            {"x": 0, "y": 40},
        ]
        assert turned == original

    def test_general_angle_rounds_each_coordinate(self):
        theta = 0.3
        pts = [(1000, 0), (0, 1000), (-12345, 6789), (7, -7)]
        plan = program((200, [toolpath(pts)]))
        c, s = math.cos(theta), math.sin(theta)
        expected = [
            (
                int(math.copysign(math.floor(abs(c * x - s * y) + 0.5), c * x - s * y)),
                int(math.copysign(math.floor(abs(s * x + c * y) + 0.5), s * x + c * y)),
            )
            for x, y in pts
        ]
        assert point_list(_tolm.rotate_z(plan, theta)) == [[expected]]

    def test_halves_round_away_from_zero(self):
        # cos(2^-26) is 1 - 2^-53, so c * x is exactly a half for x = +-(2^51 + 1).
        theta = 2.0**-26
        x = 2**51 + 1
        assert math.cos(theta) * x == 2**51 + 0.5
        plan = program((200, [toolpath([(x, 0), (-x, 0)])]))
        (((first, second),),) = point_list(_tolm.rotate_z(plan, theta))
        assert first[0] == 2**51 + 1  # not 2**51, the even neighbour
        assert second[0] == -(2**51 + 1)  # not -2**51, as rounding half up would give

    @pytest.mark.parametrize("angle", [math.nan, math.inf, -math.inf])
    def test_non_finite_angle_maps_every_point_to_the_origin(self, angle):
        plan = program((200, [toolpath([(1000, 0), (-5, 9)]), toolpath([(3, 3)], role=None)]))
        assert point_list(_tolm.rotate_z(plan, angle)) == [[[(0, 0), (0, 0)], [(0, 0)]]]

    @pytest.mark.parametrize(
        "point, angle, expected",
        [
            ((INT64_MAX, INT64_MAX), math.pi / 4, INT64_MAX),  # y' is sqrt(2) * 2^63
            ((INT64_MIN, INT64_MIN), math.pi / 4, INT64_MIN),
        ],
    )
    def test_results_beyond_int64_saturate(self, point, angle, expected):
        plan = program((200, [toolpath([point])]))
        (((turned,),),) = point_list(_tolm.rotate_z(plan, angle))
        assert turned[1] == expected

    def test_radians_accepts_an_int_and_is_required(self):
        plan = program((200, [toolpath([(1000, 0)])]))
        assert _tolm.rotate_z(plan, 0) == _tolm.rotate_z(plan, 0.0)
        with pytest.raises(TypeError, match="radians"):
            _tolm.rotate_z(plan)
        with pytest.raises(TypeError, match="radians"):
            _tolm.rotate_z(plan, "0.5")

    def test_bad_program_raises_with_the_low_level_prefix(self):
        with pytest.raises(ValueError) as info:
            _tolm.rotate_z("{}", 1.0)
        assert str(info.value).startswith(LO_PREFIX + "missing field")


def even_resolution_plans():
    """(plan JSON, even resolution) with coordinates a few dozen cells around the origin."""

    @st.composite
    def build(draw):
        res = 2 * draw(st.integers(1, 125))
        coordinate = st.integers(-40 * res, 40 * res)
        layers = []
        for n in range(draw(st.integers(1, 3))):
            paths = []
            for _ in range(draw(st.integers(1, 3))):
                pts = draw(st.lists(st.tuples(coordinate, coordinate), min_size=1, max_size=4))
                paths.append(toolpath(pts, width=draw(st.integers(-res, 10 * res))))
            layers.append((draw(st.integers(-2, 6)) * res // 2 + 200 * n, paths))
        return program(*layers), res

    return build()


class TestQuarterTurnOfAPlan:
    """rot_z90 of a voxelized plan against the voxelization of the plan turned by rotate_z(pi/2)."""

    @given(case=even_resolution_plans())
    @settings(max_examples=150, deadline=None)
    def test_commutes_at_even_resolutions(self, case):
        # Cell centres sit at (i + 1/2) * res, so the quarter turn maps centre to centre and the
        # capsule rule keeps every distance.
        plan, res = case
        turned_plan = _tolm.rotate_z(plan, math.pi / 2)
        assert _tolm.rot_z90(_tolm.voxelize(plan, res)) == _tolm.voxelize(turned_plan, res)

    def test_odd_resolution_breaks_it(self):
        # At an odd resolution the centres sit half a micron below the middle of their cells
        # (i * res + res // 2), so the turned centres are not centres. At res 5 the bead at
        # (7, -7) covers the centres (7, -8) and (7, -3); turned to (7, 7) it reaches only (7, 7),
        # while the turned centre (2, 7) of the second cell is 5 um away.
        plan = program((200, [toolpath([(7, -7)], width=2)]))
        turned = voxels(_tolm.voxelize(_tolm.rotate_z(plan, math.pi / 2), 5))
        expected_turn = voxels(_tolm.rot_z90(_tolm.voxelize(plan, 5)))
        assert {v[:2] for v in expected_turn} == {(0, 1), (1, 1)}
        assert {v[:2] for v in turned} == {(1, 1)}

    def test_far_from_the_origin_the_cosine_term_no_longer_rounds_away(self):
        # cos(pi / 2) is 6.1e-17 in doubles; at 9e15 um it adds 0.55 um, which rounds to a
        # whole micron and moves a small bead into other cells.
        x = 9 * 10**15
        plan = program((200, [toolpath([(x, 0)], width=0)]))
        turned_plan = _tolm.rotate_z(plan, math.pi / 2)
        assert point_list(turned_plan) == [[[(1, x)]]]
        turned = voxels(_tolm.voxelize(turned_plan, 2))
        expected_turn = voxels(_tolm.rot_z90(_tolm.voxelize(plan, 2)))
        assert {v[:2] for v in expected_turn} == {
            (-1, x // 2 - 1),
            (-1, x // 2),
            (0, x // 2 - 1),
            (0, x // 2),
        }
        assert {v[:2] for v in turned} == {(0, x // 2 - 1), (0, x // 2)}


@pytest.mark.parametrize("corpus_file", corpus_params(), indirect=True)
def test_corpus_voxelization_matches_the_occupancy(corpus_file):
    # Every layer's occupied cells over the index range its Z and the previous layer's Z give.
    import numpy as np

    plan, _ = _tolm.parse_gcode(corpus_file.read_text(errors="replace"))
    layers = json.loads(_tolm.occupancy(plan, 200))["layers"]
    parts, previous = [], None
    for layer in layers:
        z = layer["z_um"]
        height = max(1, z if previous is None else z - previous)
        previous = z
        bottom, top = (z - height) // 200, z // 200
        if layer["cells"]:
            xy = np.asarray(layer["cells"], dtype=np.int64)
            for k in range(bottom, max(top, bottom + 1)):
                parts.append(np.column_stack([xy, np.full(len(xy), k, dtype=np.int64)]))
    expected = (
        np.unique(np.concatenate(parts), axis=0) if parts else np.zeros((0, 3), dtype=np.int64)
    )
    got = np.asarray(json.loads(_tolm.voxelize(plan, 200)), dtype=np.int64).reshape(-1, 3)
    assert np.array_equal(got, expected)
