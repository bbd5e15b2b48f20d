"""The occupancy raster: worked cases, invariances and agreement with a brute-force reference."""

import json
import math
import os
import subprocess
import sys
import textwrap

import pytest
from hypothesis import given, strategies as st

import _tolm
from programs import dumps, layer, program, toolpath

HALF_DIAGONAL = 0.7071067811865476
INT64_MIN, INT64_MAX = -(2**63), 2**63 - 1


def cells_of(program_value, resolution_um=200):
    occupancy = json.loads(_tolm.occupancy(dumps(program_value), resolution_um))
    return [[tuple(cell) for cell in entry["cells"]] for entry in occupancy["layers"]]


def saturate(value):
    return max(INT64_MIN, min(INT64_MAX, value))


def to_i64(value):
    if math.isnan(value):
        return 0
    if value >= 2.0**63:
        return INT64_MAX
    if value < -(2.0**63):
        return INT64_MIN
    return int(value)


def reference_capsule(a, b, res, radius):
    """Every cell of the full candidate window whose centre is within reach (no pruning)."""
    reach = radius + HALF_DIAGONAL * res
    reach2 = reach * reach
    margin = to_i64(math.ceil(reach))
    i0 = saturate(min(a[0], b[0]) - margin) // res
    i1 = saturate(max(a[0], b[0]) + margin) // res
    j0 = saturate(min(a[1], b[1]) - margin) // res
    j1 = saturate(max(a[1], b[1]) + margin) // res
    p0, p1 = (a, b) if (a[0], a[1]) <= (b[0], b[1]) else (b, a)
    p0x, p0y = float(p0[0]), float(p0[1])
    dx = float(p1[0]) - p0x
    dy = float(p1[1]) - p0y
    c = dx * dx + dy * dy
    half = res // 2
    cells = set()
    for j in range(j0, j1 + 1):
        yc = float(j) * float(res) + float(half)
        for i in range(i0, i1 + 1):
            xc = float(i) * float(res) + float(half)
            if c == 0:
                d2 = (xc - p0x) ** 2 + (yc - p0y) ** 2
            else:
                t = ((xc - p0x) * dx + (yc - p0y) * dy) / c
                t = 0.0 if t < 0 else t
                t = 1.0 if t > 1 else t
                nx, ny = dx * t + p0x, dy * t + p0y
                d2 = (xc - nx) * (xc - nx) + (yc - ny) * (yc - ny)
            if d2 <= reach2:
                cells.add((i, j))
    return cells


def reference_layer(paths, res):
    res = max(res, 1)
    cells = set()
    for points, width in paths:
        radius = max(width, 0) / 2
        if len(points) == 1:
            cells |= reference_capsule(points[0], points[0], res, radius)
        for a, b in zip(points, points[1:]):
            cells |= reference_capsule(a, b, res, radius)
    return sorted(cells)


@pytest.mark.parametrize(
    "points, width, expected",
    [
        # Four cells meet at the origin, each centre exactly at the reach.
        ([(0, 0)], 0, [(-1, -1), (-1, 0), (0, -1), (0, 0)]),
        ([(100, 100)], 0, [(0, 0)]),
        (
            [(0, 0)],
            400,
            [(i, j) for i in range(-2, 2) for j in range(-2, 2)
             if (i, j) not in {(-2, -2), (-2, 1), (1, -2), (1, 1)}],
        ),
        ([], 400, []),
    ],
)
def test_worked_cases_at_200(points, width, expected):
    assert cells_of(program(layer(200, toolpath(points, width)))) == [sorted(expected)]


def test_output_form_and_order():
    text = _tolm.occupancy(dumps(program(layer(200, toolpath([(100, 100)], 0)))))
    assert text == (
        '{\n  "layers": [\n    {\n      "z_um": 200,\n      "resolution_um": 200,\n'
        '      "cells": [\n        [\n          0,\n          0\n        ]\n      ]\n'
        "    }\n  ]\n}"
    )
    assert _tolm.occupancy('{"layers": []}') == '{\n  "layers": []\n}'


def test_layers_are_kept_one_per_program_layer():
    value = program(
        layer(200, toolpath([(0, 0), (1000, 0)], travel=True)),
        layer(200, toolpath([(0, 0), (1000, 0)])),
        layer(400),
    )
    occupancy = json.loads(_tolm.occupancy(dumps(value)))
    assert [entry["z_um"] for entry in occupancy["layers"]] == [200, 200, 400]
    assert occupancy["layers"][0]["cells"] == []  # travels never occupy
    assert occupancy["layers"][1]["cells"] != []
    assert occupancy["layers"][2]["cells"] == []


@pytest.mark.parametrize("resolution, used", [(0, 1), (-5, 1), (1, 1), (201, 201)])
def test_resolution_below_one_acts_as_one(resolution, used):
    value = program(layer(200, toolpath([(0, 0), (3, 0)], 2)))
    occupancy = json.loads(_tolm.occupancy(dumps(value), resolution))
    assert occupancy["layers"][0]["resolution_um"] == used
    assert [tuple(c) for c in occupancy["layers"][0]["cells"]] == reference_layer(
        [([(0, 0), (3, 0)], 2)], used
    )


def test_odd_resolution_centres_and_negative_floor():
    # At res 201 the centre of cell 0 is at 100; x = -1 lies in cell -1.
    assert cells_of(program(layer(0, toolpath([(100, 100)], 0))), 201) == [[(0, 0)]]
    assert cells_of(program(layer(0, toolpath([(-1, -1)], 0))), 200) == [[(-1, -1)]]


def test_reversal_and_toolpath_order_do_not_matter():
    a = toolpath([(0, 0), (5000, 1300), (9000, -700)], 430)
    b = toolpath([(2000, 4000), (-3000, 100)], 380, role="Infill")
    reversed_a = toolpath([(9000, -700), (5000, 1300), (0, 0)], 430)
    assert cells_of(program(layer(0, a, b))) == cells_of(program(layer(0, b, reversed_a)))


huge = st.integers(INT64_MIN, INT64_MAX)


@st.composite
def layer_paths(draw):
    # Coordinates and widths scale with the resolution so that the reference's full windows
    # stay at a few thousand cells.
    res = draw(st.sampled_from([1, 7, 100, 199, 200, 201, 250, 1000]))
    span = 40 * res
    coordinate = st.integers(-span, span)
    paths = draw(
        st.lists(
            st.tuples(
                st.lists(st.tuples(coordinate, coordinate), max_size=4),
                st.integers(-res, 8 * res),
            ),
            max_size=3,
        )
    )
    return paths, res


@given(layer_paths())
def test_matches_brute_force_reference(case):
    paths, res = case
    value = program(layer(0, *[toolpath(points, width) for points, width in paths]))
    assert cells_of(value, res)[0] == reference_layer(paths, res)


@given(
    a=st.tuples(huge, huge),
    offset=st.tuples(st.integers(-3000, 3000), st.integers(-3000, 3000)),
    width=st.integers(0, 800),
)
def test_extreme_coordinates_never_overflow(a, offset, width):
    # Keep the segment short so that the brute-force window stays small near the int64 limits.
    b = (saturate(a[0] + offset[0]), saturate(a[1] + offset[1]))
    value = program(layer(0, toolpath([a, b], width)))
    assert cells_of(value, 200)[0] == reference_layer([([a, b], width)], 200)


def test_sparse_layer_far_apart_matches_reference():
    # Two dots ~1e15 um apart: the cells cannot be marked in a bitmap over their bounding box.
    paths = [([(0, 0)], 300), ([(10**15, -(10**15))], 300)]
    value = program(layer(0, *[toolpath(points, width) for points, width in paths]))
    assert cells_of(value, 200)[0] == reference_layer(paths, 200)


class TestOccupancyGrid:
    square = program(
        layer(200, toolpath([(0, 0), (2000, 0), (2000, 1000)], 0)),
        layer(400),
    )

    def test_dense_matches_cells(self):
        rows, cols, min_i, min_j, raster = _tolm.occupancy_grid(dumps(self.square), 0)
        cells = cells_of(self.square)[0]
        assert len(raster) == rows * cols
        assert min_i == min(c[0] for c in cells) and min_j == min(c[1] for c in cells)
        assert cols == max(c[0] for c in cells) - min_i + 1
        assert rows == max(c[1] for c in cells) - min_j + 1
        marked = {
            (min_i + k % cols, min_j + k // cols) for k, byte in enumerate(raster) if byte
        }
        assert set(raster) <= {0, 1}
        assert sorted(marked) == cells

    def test_empty_layer(self):
        assert _tolm.occupancy_grid(dumps(self.square), 1) == (0, 0, 0, 0, b"")

    @pytest.mark.parametrize("index", [2, 10**6])
    def test_layer_out_of_range(self, index):
        with pytest.raises(ValueError, match="^layer index out of range$"):
            _tolm.occupancy_grid(dumps(self.square), index)

    def test_json_error_reported_before_range(self):
        with pytest.raises(ValueError, match="^expected a LOW-LEVEL program JSON"):
            _tolm.occupancy_grid("{", 5)

    def test_negative_layer_is_overflow(self):
        with pytest.raises(OverflowError):
            _tolm.occupancy_grid(dumps(self.square), -1)

    def test_raster_too_large_raises_memory_error(self):
        huge_layer = program(layer(0, toolpath([(0, 0)], 0), toolpath([(10**15, 10**15)], 0)))
        with pytest.raises(MemoryError):
            _tolm.occupancy_grid(dumps(huge_layer), 0, 1)


def run_python(code, **kwargs):
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True, text=True, timeout=300, env={**os.environ}, **kwargs,
    )


MANY_LAYERS = dumps(
    program(*[
        layer(200 * (k + 1), toolpath([(0, 0), (k * 1000, 7000), (20000, 3 * k)], 400 + k))
        for k in range(40)
    ])
)


def test_results_identical_with_one_worker():
    code = f"""
        import os, sys
        os.sched_setaffinity(0, {{min(os.sched_getaffinity(0))}})
        import _tolm
        sys.stdout.write(_tolm.occupancy({MANY_LAYERS!r}))
    """
    single = run_python(code)
    assert single.returncode == 0, single.stderr
    assert single.stdout == _tolm.occupancy(MANY_LAYERS)


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs os.fork")
def test_forked_child_computes_correctly():
    # Use the pool in the parent first, then fork: the child must build its own pool.
    expected = _tolm.occupancy(MANY_LAYERS)
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:  # child
        try:
            os.close(read_end)
            ok = _tolm.occupancy(MANY_LAYERS) == expected
            os.write(write_end, b"1" if ok else b"0")
        finally:
            os._exit(0)
    os.close(write_end)
    answer = os.read(read_end, 1)
    os.close(read_end)
    os.waitpid(pid, 0)
    assert answer == b"1"
