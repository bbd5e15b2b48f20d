"""Reading and writing low-level program JSON: tolm's reader and writer against orjson.

Generates a program JSON text of at least 50 MB, then in one run times
  - tolm reading the text (already in memory) into records (C++ bench program) vs orjson.loads,
  - tolm writing the records as pretty JSON vs orjson.dumps(obj, option=OPT_INDENT_2).
Ratios above 1.0 mean tolm is faster.
"""

import json
import pathlib
import random
import subprocess
import sys
import tempfile
import time

import orjson

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import _build  # noqa: E402


def generate(target_bytes: int) -> str:
    rng = random.Random(7)
    layers = []
    size = 0
    z = 0
    while size < target_bytes:
        z += 200
        toolpaths = []
        for _ in range(40):
            points = [{"x": rng.randint(-150000, 150000), "y": rng.randint(-150000, 150000)}
                      for _ in range(60)]
            path = {"kind": {"Extrude": rng.choice(["Perimeter", "Infill", "Skin"])},
                    "path": {"points": points}, "width_um": rng.randint(380, 460)}
            if rng.random() < 0.8:
                path["flow_e"] = rng.random() * 3
            toolpaths.append(path)
            toolpaths.append({"kind": "Travel", "path": {"points": [points[-1], points[0]]},
                              "width_um": 0})
        layer = {"z_um": z, "toolpaths": toolpaths}
        layers.append(layer)
        size += len(json.dumps(layer, indent=2))
    return json.dumps({"layers": layers}, indent=2)


def best_of(repeats, fn):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def main():
    text = generate(50 * 1024 * 1024)
    mb = len(text.encode()) / 1e6
    print(f"program JSON: {mb:.1f} MB")
    bench = _build.program("bench_json")
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as handle:
        handle.write(text)
        path = handle.name
    out = subprocess.run([str(bench), path, "3"], check=True, capture_output=True, text=True)
    read_s, write_s, _, written = out.stdout.split()
    read_s, write_s, written = float(read_s), float(write_s), int(written)
    pathlib.Path(path).unlink()

    data = text.encode()
    orjson_read = best_of(3, lambda: orjson.loads(data))
    obj = orjson.loads(data)
    orjson_write = best_of(3, lambda: orjson.dumps(obj, option=orjson.OPT_INDENT_2))

    print(f"{'':24}{'tolm':>12}{'orjson':>12}{'ratio':>9}")
    print(f"{'read (MB/s)':24}{mb / read_s:12.0f}{mb / orjson_read:12.0f}"
          f"{orjson_read / read_s:9.2f}")
    out_mb = written / 1e6
    print(f"{'write (MB/s of output)':24}{out_mb / write_s:12.0f}"
          f"{len(orjson.dumps(obj, option=orjson.OPT_INDENT_2)) / 1e6 / orjson_write:12.0f}"
          f"{orjson_write / write_s:9.2f}")
    print("ratio = orjson time / tolm time (>= 1.0: tolm at least as fast)")


if __name__ == "__main__":
    main()
