"""Sound inner and outer bounds of a voxel set turned about X or Y, and the verdict built on them."""

import itertools
import json
import math
import random

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import _tolm
from conftest import corpus_params

VOXELS_PREFIX = "expected a voxel-set JSON (array of [i, j, k], e.g. from voxelize()); "
SAME = "SameWithinGrid"
DIFFER = "DefinitelyDiffer"


def voxels(text):
    return [tuple(v) for v in json.loads(text)]


def voxels_json(items):
    return json.dumps([list(v) for v in items])


def bounds(items, radians, axis_x=True):
    inner, outer = _tolm.rotate_bounds(voxels_json(items), radians, axis_x)
    return voxels(inner), voxels(outer)


def turn_point(p, c, s, axis_x):
    x, y, z = p
    if axis_x:
        return (x, c * y - s * z, s * y + c * z)
    return (c * x + s * z, y, -s * x + c * z)


def turned_box(v, c, s, axis_x):
    lo = [math.inf] * 3
    hi = [-math.inf] * 3
    for corner in itertools.product(*[(n, n + 1) for n in v]):
        q = turn_point([float(n) for n in corner], c, s, axis_x)
        for a in range(3):
            if not math.isnan(q[a]):
                lo[a] = min(lo[a], q[a])
                hi[a] = max(hi[a], q[a])
    return lo, hi


def reference_bounds(items, radians, axis_x):
    """The bracket, straight from its definition, for small sets with small indices."""
    members = set(items)
    c, s = math.cos(radians), math.sin(radians)
    candidates = set()
    for v in members:
        lo, hi = turned_box(v, c, s, axis_x)
        if any(math.isinf(x) for x in lo + hi):
            continue
        ranges = [range(math.floor(lo[a]), math.ceil(hi[a])) for a in range(3)]
        candidates.update(itertools.product(*ranges))
    inner, outer = [], []
    for v in sorted(candidates):
        lo, hi = turned_box(v, c, -s, axis_x)
        tested = list(
            itertools.product(*[range(math.floor(lo[a]), math.floor(hi[a]) + 1) for a in range(3)])
        )
        present = [t in members for t in tested]
        if any(present):
            outer.append(v)
            if all(present):
                inner.append(v)
    return inner, outer


def block(size_i, size_j, size_k, origin=(0, 0, 0)):
    return [
        (origin[0] + i, origin[1] + j, origin[2] + k)
        for i in range(size_i)
        for j in range(size_j)
        for k in range(size_k)
    ]


small_sets = st.lists(
    st.tuples(st.integers(-4, 4), st.integers(-4, 4), st.integers(-4, 4)), max_size=40
)
angles = st.floats(-7.0, 7.0, allow_nan=False)


class TestBoundsAtZero:
    def test_empty_set(self):
        assert _tolm.rotate_bounds("[]", 0.7) == ("[]", "[]")
        assert _tolm.compare_rotated("[]", "[]", 0.7) == SAME

    @pytest.mark.parametrize("axis_x", [True, False])
    def test_single_voxel_has_no_inner_and_itself_as_outer(self, axis_x):
        assert bounds([(3, -2, 5)], 0.0, axis_x) == ([], [(3, -2, 5)])

    @pytest.mark.parametrize("axis_x", [True, False])
    def test_inner_holds_voxels_whose_upper_neighbours_are_all_present(self, axis_x):
        # The inclusive test range reaches one voxel beyond each upper face.
        cube = block(3, 3, 3)
        inner, outer = bounds(cube, 0.0, axis_x)
        assert outer == cube
        assert inner == block(2, 2, 2)

    def test_two_cube_has_one_inner_voxel(self):
        assert bounds(block(2, 2, 2, (-1, -1, -1)), 0.0) == (
            [(-1, -1, -1)],
            block(2, 2, 2, (-1, -1, -1)),
        )

    @pytest.mark.parametrize(
        "b, verdict",
        [
            ([], SAME),  # the inner bound of one voxel is empty
            ([(0, 0, 0)], SAME),
            ([(1, 0, 0)], DIFFER),
            ([(0, 0, 0), (0, 0, 1)], DIFFER),
        ],
    )
    def test_single_voxel_verdicts(self, b, verdict):
        assert _tolm.compare_rotated(voxels_json([(0, 0, 0)]), voxels_json(b), 0.0) == verdict

    @given(items=small_sets, axis_x=st.booleans())
    @settings(deadline=None)
    def test_outer_is_the_set_itself(self, items, axis_x):
        assert bounds(items, 0.0, axis_x)[1] == sorted(set(items))

    @given(items=small_sets, axis_x=st.booleans())
    @settings(deadline=None)
    def test_a_set_is_the_same_as_itself(self, items, axis_x):
        text = voxels_json(items)
        assert _tolm.compare_rotated(text, text, 0.0, axis_x) == SAME


class TestBounds:
    @given(items=small_sets, radians=angles, axis_x=st.booleans())
    @settings(max_examples=150, deadline=None)
    def test_matches_the_definition(self, items, radians, axis_x):
        assert bounds(items, radians, axis_x) == reference_bounds(items, radians, axis_x)

    @given(
        items=st.lists(st.tuples(*[st.integers(-(10**6), 10**6)] * 3), min_size=2, max_size=12),
        radians=angles,
        axis_x=st.booleans(),
    )
    @settings(max_examples=60, deadline=None)
    def test_scattered_set_matches_the_definition(self, items, radians, axis_x):
        # Voxels far apart: their candidates are too sparse to mark in a box and are sorted.
        assert bounds(items, radians, axis_x) == reference_bounds(items, radians, axis_x)

    @pytest.mark.parametrize(
        "radians, axis_x", [(0.3, True), (1.1, False), (-2.5, True), (0.2, False)]
    )
    def test_large_set_matches_the_definition(self, radians, axis_x):
        # Several thousand voxels: candidates reached from different parts of the set merge.
        rng = random.Random(7)
        items = [v for v in block(24, 22, 14, (-10, -3, 2)) if rng.random() < 0.8]
        assert len(items) > 5000
        assert bounds(items, radians, axis_x) == reference_bounds(items, radians, axis_x)

    @given(items=small_sets, radians=angles, axis_x=st.booleans())
    @settings(deadline=None)
    def test_inner_within_outer(self, items, radians, axis_x):
        inner, outer = bounds(items, radians, axis_x)
        assert set(inner) <= set(outer)
        assert inner == sorted(set(inner)) and outer == sorted(set(outer))

    @given(
        items=small_sets.filter(bool),
        radians=angles,
        axis_x=st.booleans(),
        seed=st.integers(0, 2**32),
    )
    @settings(max_examples=60, deadline=None)
    def test_sampled_points_respect_the_bracket(self, items, radians, axis_x, seed):
        # Points inside the set land in outer; points inside inner come from the set. Samples
        # keep away from faces so that rounding cannot move them across one.
        rng = random.Random(seed)
        members = set(items)
        inner, outer = map(set, bounds(items, radians, axis_x))
        c, s = math.cos(radians), math.sin(radians)
        for v in items:
            for _ in range(6):
                p = [n + rng.uniform(0.01, 0.99) for n in v]
                q = turn_point(p, c, s, axis_x)
                if all(abs(x - round(x)) > 1e-9 for x in q):
                    assert tuple(math.floor(x) for x in q) in outer
        for v in inner:
            for _ in range(6):
                p = [n + rng.uniform(0.01, 0.99) for n in v]
                q = turn_point(p, c, -s, axis_x)
                if all(abs(x - round(x)) > 1e-9 for x in q):
                    assert tuple(math.floor(x) for x in q) in members

    @pytest.mark.parametrize("axis_x, turn", [(True, "rot_x90"), (False, "rot_y90")])
    @pytest.mark.parametrize("quarters", [1, 2, 3])
    def test_quarter_angles_bracket_the_exact_turn(self, axis_x, turn, quarters):
        items = [v for v in block(4, 3, 5, (-2, 1, -1)) if sum(v) % 3]
        exact = voxels_json(items)
        for _ in range(quarters):
            exact = getattr(_tolm, turn)(exact)
        inner, outer = bounds(items, quarters * math.pi / 2, axis_x)
        assert set(inner) <= set(voxels(exact)) <= set(outer)

    def test_axis_selects_the_turn(self):
        # A bar along X is unchanged by a turn about X but not by one about Y.
        bar = block(6, 1, 1)
        _, about_x = bounds(bar, 0.4, True)
        _, about_y = bounds(bar, 0.4, False)
        assert {v[0] for v in about_x} == set(range(6))
        assert {v[1] for v in about_x} != {0} or {v[2] for v in about_x} != {0}
        assert {v[1] for v in about_y} == {0}
        assert {v[2] for v in about_y} != {0}

    def test_default_axis_is_x(self):
        text = voxels_json(block(2, 3, 1))
        assert _tolm.rotate_bounds(text, 0.5) == _tolm.rotate_bounds(text, 0.5, True)
        assert _tolm.rotate_bounds(text, 0.5) != _tolm.rotate_bounds(text, 0.5, False)

    @pytest.mark.parametrize("radians", [math.nan, math.inf, -math.inf])
    def test_non_finite_angle_gives_empty_bounds(self, radians):
        assert _tolm.rotate_bounds(voxels_json(block(2, 2, 2)), radians) == ("[]", "[]")

    def test_extreme_indices_saturate_instead_of_wrapping(self):
        # Far from the origin the corners are coarse doubles; the bracket stays sorted and inner
        # stays within outer, whatever it holds.
        far = 2**62
        items = [(far, far, far), (-far, -far, -far), (2**63 - 1, 0, 0), (-(2**63), 0, 0)]
        inner, outer = bounds(items, 0.0, True)
        assert set(inner) <= set(outer)
        assert outer == sorted(set(outer))

    def test_result_is_a_tuple_of_two_str(self):
        result = _tolm.rotate_bounds("[[0, 0, 0]]", 0.25)
        assert isinstance(result, tuple) and len(result) == 2
        assert all(isinstance(part, str) for part in result)


class TestCompareRotated:
    def test_turned_set_is_the_same_as_its_quarter_turn(self):
        items = block(3, 2, 4)
        a = voxels_json(items)
        assert _tolm.compare_rotated(a, _tolm.rot_x90(a), math.pi / 2, True) == SAME
        assert _tolm.compare_rotated(a, _tolm.rot_y90(a), math.pi / 2, False) == SAME

    def test_one_voxel_outside_outer_differs_whatever_else_b_holds(self):
        items = block(4, 4, 4)
        _, outer = bounds(items, 0.3)
        beyond = (100, 100, 100)
        assert beyond not in outer
        a = voxels_json(items)
        assert _tolm.compare_rotated(a, voxels_json(outer), 0.3) == SAME
        assert _tolm.compare_rotated(a, voxels_json(outer + [beyond]), 0.3) == DIFFER

    def test_missing_an_inner_voxel_differs(self):
        items = block(5, 5, 5)
        inner, outer = bounds(items, 0.3)
        assert inner
        b = [v for v in outer if v != inner[len(inner) // 2]]
        assert _tolm.compare_rotated(voxels_json(items), voxels_json(b), 0.3) == DIFFER

    @given(a=small_sets, b=small_sets, radians=angles, axis_x=st.booleans())
    @settings(deadline=None)
    def test_verdict_follows_the_bracket(self, a, b, radians, axis_x):
        inner, outer = bounds(a, radians, axis_x)
        expected = SAME if set(inner) <= set(b) <= set(outer) else DIFFER
        assert _tolm.compare_rotated(voxels_json(a), voxels_json(b), radians, axis_x) == expected

    @pytest.mark.parametrize("radians", [math.nan, math.inf])
    @pytest.mark.parametrize("b, verdict", [([], SAME), ([(0, 0, 0)], DIFFER)])
    def test_non_finite_angle_is_same_only_for_the_empty_set(self, radians, b, verdict):
        assert (
            _tolm.compare_rotated(voxels_json(block(2, 2, 2)), voxels_json(b), radians) == verdict
        )

    def test_duplicates_and_disorder_in_b_do_not_matter(self):
        assert _tolm.compare_rotated("[[0, 0, 0]]", "[[0, 0, 0], [0, 0, 0]]", 0.0) == SAME


class TestArguments:
    @pytest.mark.parametrize("axis_x", [1, 0, "True", None, 1.0])
    def test_axis_must_be_a_bool(self, axis_x):
        with pytest.raises(TypeError, match="axis_x"):
            _tolm.rotate_bounds("[]", 0.5, axis_x=axis_x)
        with pytest.raises(TypeError, match="axis_x"):
            _tolm.compare_rotated("[]", "[]", 0.5, axis_x)

    def test_numpy_bool_selects_the_axis(self):
        text = voxels_json(block(2, 3, 1))
        assert _tolm.rotate_bounds(text, 0.5, np.bool_(False)) == _tolm.rotate_bounds(
            text, 0.5, False
        )

    def test_radians_is_required(self):
        with pytest.raises(TypeError, match="radians"):
            _tolm.rotate_bounds("[]")
        with pytest.raises(TypeError, match="radians"):
            _tolm.compare_rotated("[]", "[]")

    @pytest.mark.parametrize(
        "text, detail", [("{}", "invalid type: map"), ("[[0, 0]]", "invalid length 2")]
    )
    def test_malformed_set_raises_with_the_voxel_prefix(self, text, detail):
        with pytest.raises(ValueError) as info:
            _tolm.rotate_bounds(text, 0.5)
        assert str(info.value).startswith(VOXELS_PREFIX)
        assert detail in str(info.value)

    def test_first_set_is_read_first(self):
        # Both are malformed: the error is the first one's (line 1), and b is not read.
        with pytest.raises(ValueError) as info:
            _tolm.compare_rotated("{}", "[\n[0]]", 0.5)
        assert str(info.value).startswith(VOXELS_PREFIX + "invalid type: map")
        assert str(info.value).endswith("at line 1 column 1")

    def test_second_set_errors_after_a_good_first(self):
        with pytest.raises(ValueError) as info:
            _tolm.compare_rotated("[]", "[\n[0]]", 0.5)
        assert (
            str(info.value)
            == VOXELS_PREFIX
            + "invalid length 1, expected a voxel [i, j, k] of 3 integers at line 2 column 1"
        )


@pytest.mark.parametrize("corpus_file", corpus_params(), indirect=True)
def test_corpus_print_at_zero_and_at_a_quarter_turn(corpus_file):
    plan, _ = _tolm.parse_gcode(corpus_file.read_text(errors="replace"))
    v = _tolm.voxelize(plan, 400)
    assert _tolm.rotate_bounds(v, 0.0)[1] == v
    assert _tolm.compare_rotated(v, v, 0.0, False) == SAME
    assert _tolm.compare_rotated(v, _tolm.rot_x90(v), math.pi / 2, True) == SAME
    assert _tolm.compare_rotated(v, v, math.pi / 2, True) == (SAME if v == "[]" else DIFFER)
