"""How much travel the travel-order pass would save, computed on program JSON.

The pass reorders each layer's extrusions by nearest neighbour from the origin (a path may be
printed backwards when its far end is nearer) and joins consecutive paths with straight travels.
This module reproduces that ordering so that the command line can report its travel without
rewriting the plan.
"""

from __future__ import annotations

import math

try:
    import numpy as _numpy
except ImportError:  # the command line works without NumPy, only slower on busy layers
    _numpy = None


def _ordered_travel_um(paths: list[list[tuple[int, int]]]) -> float:
    """Travel of one layer after nearest-neighbour ordering of its non-empty extrusion paths."""
    if _numpy is not None and len(paths) > 32:
        return _ordered_travel_um_numpy(paths)
    remaining = [(p[0], p[-1]) for p in paths]
    x, y = 0, 0
    previous_end = None
    travel = 0.0
    while remaining:
        best = math.inf
        choice = 0
        reverse = False
        for index, (first, last) in enumerate(remaining):
            d1 = (float(x) - float(first[0])) ** 2 + (float(y) - float(first[1])) ** 2
            if d1 < best:
                best, choice, reverse = d1, index, False
            d2 = (float(x) - float(last[0])) ** 2 + (float(y) - float(last[1])) ** 2
            if d2 < best:
                best, choice, reverse = d2, index, True
        first, last = remaining.pop(choice)
        if reverse:
            first, last = last, first
        if previous_end is not None and previous_end != first:
            travel += math.hypot(float(first[0] - previous_end[0]),
                                 float(first[1] - previous_end[1]))
        previous_end = last
        x, y = last
    return travel


def _ordered_travel_um_numpy(paths: list[list[tuple[int, int]]]) -> float:
    np = _numpy
    # Row k holds candidate k's first point then its last point; the interleaved distances
    # [first_0, last_0, first_1, last_1, ...] are scanned in that order, so the first minimum
    # is exactly the candidate (and direction) that a strict "nearer than best" scan keeps.
    ends = np.array([[p[0][0], p[0][1], p[-1][0], p[-1][1]] for p in paths], dtype=np.float64)
    x, y = 0.0, 0.0
    previous_end = None
    travel = 0.0
    while len(ends):
        d = np.empty(2 * len(ends))
        d[0::2] = (x - ends[:, 0]) ** 2 + (y - ends[:, 1]) ** 2
        d[1::2] = (x - ends[:, 2]) ** 2 + (y - ends[:, 3]) ** 2
        pick = int(np.argmin(d))
        row = ends[pick // 2]
        first, last = ((row[0], row[1]), (row[2], row[3]))
        if pick % 2:
            first, last = last, first
        ends = np.delete(ends, pick // 2, axis=0)
        if previous_end is not None and previous_end != first:
            travel += math.hypot(first[0] - previous_end[0], first[1] - previous_end[1])
        previous_end = last
        x, y = last
    return travel


def travel_after_ordering_um(program: dict) -> float:
    """Total travel (µm) of the plan after the travel-order pass."""
    total = 0.0
    for layer in program["layers"]:
        paths = []
        for toolpath in layer["toolpaths"]:
            if toolpath["kind"] == "Travel":
                continue
            points = [(p["x"], p["y"]) for p in toolpath["path"]["points"]]
            if points:
                paths.append(points)
        total += _ordered_travel_um(paths)
    return total
