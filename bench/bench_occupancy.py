"""Occupancy of a generated plan (200 layers, 1 million segments): cells per second, the
parallel speed-up over a single worker, and peak memory per occupied cell.

The speed-up runs the same C++ bench program twice in one run: once pinned to one CPU (the
work pool sizes itself from the CPUs the process may use) and once with all of them.
"""

import os
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import _build  # noqa: E402


def run(bench, cpus, repeats=3):
    best = None
    for _ in range(repeats):
        out = subprocess.run(
            [str(bench), "200", "1000000"], check=True, capture_output=True, text=True,
            preexec_fn=(lambda: os.sched_setaffinity(0, cpus)),
        )
        seconds, cells, segments, rss = out.stdout.split()
        row = (float(seconds), int(cells), int(segments), int(rss))
        if best is None or row[0] < best[0]:
            best = row
    return best


def main():
    bench = _build.program("bench_occupancy")
    cpus = sorted(os.sched_getaffinity(0))
    one = run(bench, {cpus[0]})
    everything = run(bench, set(cpus))
    seconds, cells, segments, rss = everything
    print(f"plan: 200 layers, {segments} segments -> {cells} occupied cells at 200 um")
    print(f"one worker : {one[0]:.3f} s  {one[1] / one[0] / 1e6:8.2f} M cells/s")
    print(f"{len(cpus)} CPUs     : {seconds:.3f} s  {cells / seconds / 1e6:8.2f} M cells/s")
    print(f"parallel speed-up: {one[0] / seconds:.2f}x over one worker")
    print(f"peak memory growth while rasterizing: {rss / cells:.1f} bytes per occupied cell")


if __name__ == "__main__":
    main()
