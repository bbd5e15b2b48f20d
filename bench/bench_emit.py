"""Emission and content-hash throughput on a generated plan of about 1.2 million segments.

Prints, from one run:
  - program_to_gcode: G-code MB/s (reading the high-level JSON, lowering and emitting);
  - lower_to_json on the same input, to show how much of that time is reading the JSON;
  - canonical_hash of the lowered plan's JSON against hashlib.blake2b over the same text.

    PYTHONPATH=build python bench/bench_emit.py [--segments N] [--repeat R]
"""

import argparse
import hashlib
import json
import random
import time

import _tolm


def generate_hi_program(segments, seed=1):
    """Layers of regions whose fills are zig-zags of 10 segments, with gaps between fills."""
    rng = random.Random(seed)
    roles = ["Perimeter", "Infill", "Skin", "Support"]
    per_fill = 10
    fills_per_layer = 1000
    layers = []
    made = 0
    z = 0
    while made < segments:
        z += 200
        regions = []
        for r in range(4):
            fills = []
            for _ in range(fills_per_layer // 4):
                x0, y0 = rng.randrange(0, 200_000), rng.randrange(0, 200_000)
                path = [{"x": x0 + k * 400, "y": y0 + (k % 2) * rng.randrange(1000, 20_000)} for k in range(per_fill + 1)]
                fills.append({"path": {"points": path}, "width_um": 400 + 20 * (r % 2)})
                made += per_fill
            regions.append({"kind": roles[r], "boundary": {"outer": {"points": []}, "holes": []}, "fills": fills})
        layers.append({"z_um": z, "regions": regions})
    return json.dumps({"layers": layers}, separators=(",", ":")), made


def best_time(fn, repeat):
    best = float("inf")
    result = None
    for _ in range(repeat):
        # Process CPU time: the machine is shared, and wall time would count other programs' turns.
        start = time.process_time()
        result = fn()
        best = min(best, time.process_time() - start)
    return best, result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--segments", type=int, default=1_200_000)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    hi_json, segments = generate_hi_program(args.segments)
    lo_json = _tolm.lower_to_json(hi_json)
    lo_bytes = lo_json.encode()
    print(f"plan: {segments} extrusion segments, high-level JSON {len(hi_json) / 1e6:.1f} MB, "
          f"low-level JSON {len(lo_bytes) / 1e6:.1f} MB")

    t_gcode, gcode = best_time(lambda: _tolm.program_to_gcode(hi_json), args.repeat)
    t_lower, _ = best_time(lambda: _tolm.lower_to_json(hi_json), args.repeat)
    mb = len(gcode) / 1e6
    print(f"program_to_gcode: {mb:.1f} MB of G-code in {t_gcode:.3f} s = {mb / t_gcode:.0f} MB/s "
          f"(lower_to_json of the same input: {t_lower:.3f} s, ratio gcode/lower_to_json {t_gcode / t_lower:.2f})")

    t_hash, digest = best_time(lambda: _tolm.canonical_hash(lo_json), args.repeat)
    t_blake, _ = best_time(lambda: hashlib.blake2b(lo_bytes).hexdigest(), args.repeat)
    print(f"canonical_hash (read JSON + hash): {t_hash:.3f} s   blake2b over the JSON text: {t_blake:.3f} s   "
          f"ratio canonical/blake2b {t_hash / t_blake:.2f}  ({digest})")


if __name__ == "__main__":
    main()
