"""graded_diff of two large, different plans versus the same report computed the way a user
would with NumPy and scipy.ndimage.distance_transform_edt (starting from the same JSON text).

Run:  PYTHONPATH=build python bench/bench_graded_diff.py [--layers N] [--side-mm S] [--repeat R]
"""

import os
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")  # its idle threads spin and steal a core

import argparse
import json
import math
import time

import numpy as np
from scipy.ndimage import distance_transform_edt

import _tolm


def plan(layers, side_um, spacing_um, angle_shift_um, offset_um):
    """Square perimeters with back-and-forth infill; every other layer the infill runs in Y."""
    out = []
    for k in range(layers):
        toolpaths = []
        o = offset_um
        square = [(o, o), (o + side_um, o), (o + side_um, o + side_um), (o, o + side_um), (o, o)]
        toolpaths.append(square)
        points = []
        for n, c in enumerate(range(o + 400, o + side_um - 400, spacing_um)):
            a, b = (o + 400, c), (o + side_um - 400, c + angle_shift_um)
            if k % 2:
                a, b = (a[1], a[0]), (b[1], b[0])
            points += [a, b] if n % 2 == 0 else [b, a]
        toolpaths.append(points)
        out.append({"z_um": 200 * (k + 1), "toolpaths": [
            {"kind": {"Extrude": "Infill"}, "path": {"points": [{"x": x, "y": y} for x, y in path]}, "width_um": 450}
            for path in toolpaths]})
    return json.dumps({"layers": out})


def cells_by_z(text, res):
    """The module's occupancy as one (n, 2) cell array per Z (layers at one Z united)."""
    out = {}
    for entry in json.loads(_tolm.occupancy(text, res))["layers"]:
        cells = np.asarray(entry["cells"], dtype=np.int64).reshape(-1, 2)
        out.setdefault(entry["z_um"], []).append(cells)
    return {z: np.unique(np.concatenate(parts), axis=0) for z, parts in out.items()}


def numpy_graded_diff(za, zb, res):
    """The graded report from per-Z cell arrays, with NumPy and SciPy doing the distances."""
    rows, pooled = [], []

    def stats(d):
        if d.size == 0:
            return 0.0, 0.0, 0.0
        index = min(max(math.ceil(0.95 * d.size) - 1, 0), d.size - 1)
        return float(d.mean()), float(np.partition(d, index)[index]), float(d.max())

    for z in sorted(set(za) | set(zb)):
        a = za.get(z, np.empty((0, 2), np.int64))
        b = zb.get(z, np.empty((0, 2), np.int64))
        if len(a) == 0 or len(b) == 0:
            rows.append((z, 0.0, 0.0, 0.0, 0, len(a) + len(b)))
            continue
        both = np.concatenate([a, b])
        lo, hi = both.min(axis=0), both.max(axis=0)
        shape = tuple(hi - lo + 1)
        ga = np.zeros(shape, bool)
        gb = np.zeros(shape, bool)
        ga[tuple((a - lo).T)] = True
        gb[tuple((b - lo).T)] = True
        only_a, only_b = ga & ~gb, gb & ~ga
        d = np.concatenate([distance_transform_edt(~gb)[only_a], distance_transform_edt(~ga)[only_b]]) * res
        rows.append((z, *stats(d), d.size, 0))
        pooled.append(d)
    overall = stats(np.concatenate(pooled) if pooled else np.empty(0))
    return overall, rows


def best_of(repeat, fn):
    times = []
    for _ in range(repeat):
        t = time.perf_counter()
        result = fn()
        times.append(time.perf_counter() - t)
    return min(times), result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--layers", type=int, default=12)
    parser.add_argument("--side-mm", type=float, default=60.0)
    parser.add_argument("--res", type=int, default=100)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    side = int(args.side_mm * 1000)
    a = plan(args.layers, side, 1000, 0, 0)
    b = plan(args.layers, side, 1100, 300, 250)

    ours_t, ours = best_of(args.repeat, lambda: json.loads(_tolm.graded_diff(a, b, args.res)))
    cells_t, (za, zb) = best_of(1, lambda: (cells_by_z(a, args.res), cells_by_z(b, args.res)))
    edt_t, (overall, rows) = best_of(args.repeat, lambda: numpy_graded_diff(za, zb, args.res))
    theirs_t = cells_t + edt_t

    # Same report (NumPy sums pairwise, so the means agree to rounding only).
    assert ours["differing_cells"] == sum(r[4] for r in rows)
    assert [r["differing_cells"] for r in ours["per_layer"]] == [r[4] for r in rows]
    assert (ours["p95_um"], ours["max_um"]) == overall[1:]
    assert math.isclose(ours["mean_um"], overall[0], rel_tol=1e-9)

    print(f"plans: {args.layers} layers, {args.side_mm} mm square, {args.res} um cells, "
          f"{ours['differing_cells']} differing cells")
    print(f"tolm graded_diff (from program JSON):        {ours_t * 1000:9.1f} ms")
    print(f"NumPy: occupancy JSON to cell arrays:        {cells_t * 1000:9.1f} ms")
    print(f"NumPy: scipy EDT and statistics only:        {edt_t * 1000:9.1f} ms")
    print(f"ratio, whole pipeline (numpy / tolm):        {theirs_t / ours_t:9.2f}x")
    print(f"ratio, distances only vs tolm's whole call:  {edt_t / ours_t:9.2f}x")


if __name__ == "__main__":
    main()
