"""Voxelization and rotation bounds on the corpus print with the most voxels at 200 um: voxels per
second, and rotate_bounds at 0.3 rad about X against scipy.ndimage.rotate of the same occupancy
as a dense 3-D array (reshape=True, nearest and linear interpolation).

Every tolm figure is a whole module call from Python: the JSON text in, the work, the JSON text
out. scipy gets the dense array ready-made (building it is not timed). The two do not compute the
same thing: scipy resamples one image, tolm brackets the exact rotation with two voxel sets.

    PYTHONPATH=build:src python bench/bench_voxel.py [--file NAME.gcode] [--resolution 200]
"""

import argparse
import json
import math
import pathlib
import sys
import time

import numpy as np
from scipy import ndimage

import _tolm

CORPUS = pathlib.Path(__file__).resolve().parents[2] / "shared" / "corpus" / "gcode"
ANGLE = 0.3


def best_of(repeats, fn):
    best, result = math.inf, None
    for _ in range(repeats):
        start = time.perf_counter()
        result = fn()
        best = min(best, time.perf_counter() - start)
    return best, result


def dense(voxels):
    """The set as a 0/1 array over its bounding box, axes (i, j, k)."""
    if not voxels:
        return np.zeros((0, 0, 0), dtype=np.uint8)
    a = np.asarray(voxels, dtype=np.int64)
    a -= a.min(axis=0)
    grid = np.zeros(tuple(a.max(axis=0) + 1), dtype=np.uint8)
    grid[a[:, 0], a[:, 1], a[:, 2]] = 1
    return grid


def choose_print(resolution):
    """The corpus file with the most voxels, its plan JSON and voxel count."""
    best = None
    for path in sorted(CORPUS.glob("*.gcode")):
        plan, _ = _tolm.parse_gcode(path.read_text(errors="replace"))
        count = len(json.loads(_tolm.voxelize(plan, resolution)))
        if best is None or count > best[2]:
            best = (path, plan, count)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--file", help="a corpus file name instead of the one with most voxels")
    parser.add_argument("--resolution", type=int, default=200)
    args = parser.parse_args()
    if not CORPUS.is_dir():
        sys.exit(f"corpus not found at {CORPUS}")

    if args.file:
        path = CORPUS / args.file
        plan, _ = _tolm.parse_gcode(path.read_text(errors="replace"))
    else:
        path, plan, _ = choose_print(args.resolution)

    t_vox, voxels_json = best_of(3, lambda: _tolm.voxelize(plan, args.resolution))
    voxels = json.loads(voxels_json)
    t_bounds, (inner_json, outer_json) = best_of(
        3, lambda: _tolm.rotate_bounds(voxels_json, ANGLE, True)
    )
    inner, outer = len(json.loads(inner_json)), len(json.loads(outer_json))
    t_turn, _ = best_of(3, lambda: _tolm.rot_x90(voxels_json))

    grid = dense(voxels)
    degrees = math.degrees(ANGLE)
    # Turning about X turns the (j, k) plane, axes 1 and 2 of the array.
    t_nearest, nearest = best_of(
        1, lambda: ndimage.rotate(grid, degrees, axes=(1, 2), reshape=True, order=0)
    )
    filled_nearest = int(np.count_nonzero(nearest))
    del nearest
    t_linear, linear = best_of(
        1, lambda: ndimage.rotate(grid, degrees, axes=(1, 2), reshape=True, order=1)
    )
    filled_linear = int(np.count_nonzero(linear))
    del linear

    n = len(voxels)
    print(
        f"print: {path.name} at {args.resolution} um -> {n} voxels, dense box {'x'.join(map(str, grid.shape))}"
        f" ({grid.size / 1e6:.1f} M cells)"
    )
    rows = [
        ("voxelize (plan JSON -> voxel JSON)", t_vox, f"{n / t_vox / 1e6:7.2f} M voxels/s"),
        ("rot_x90 (voxel JSON -> voxel JSON)", t_turn, f"{n / t_turn / 1e6:7.2f} M voxels/s"),
        (
            f"rotate_bounds {ANGLE} rad about X",
            t_bounds,
            f"{n / t_bounds / 1e6:7.2f} M voxels/s  (inner {inner}, outer {outer})",
        ),
        ("scipy.ndimage.rotate order=0, reshape", t_nearest, f"({filled_nearest} cells set)"),
        ("scipy.ndimage.rotate order=1, reshape", t_linear, f"({filled_linear} cells set)"),
    ]
    for label, seconds, note in rows:
        print(f"{label:<40}: {seconds:8.3f} s  {note}")
    print(f"{'ratio scipy order=0 / rotate_bounds':<40}: {t_nearest / t_bounds:8.2f}x")
    print(f"{'ratio scipy order=1 / rotate_bounds':<40}: {t_linear / t_bounds:8.2f}x")
    print(
        f"{'ratio scipy order=0 / (voxelize + bounds)':<40}: {t_nearest / (t_vox + t_bounds):8.2f}x"
    )


if __name__ == "__main__":
    main()
