"""The agent's hot loop: `apply_sampled(seed)` then `same_material(reference)` per step.

Prints, side by side from one run:
  * the median time of one step through the handle;
  * the median time of answering the same question from scratch
    (`material_fingerprint(h.to_json())`, and that plus the export);
  * the same loop with the touched layer flagged by hand after every edit (every step then pays
    one layer's re-rasterization, as if no edit could be shown to keep the cells);
  * the floor: rasterizing and hashing the touched layer alone, measured per step on a
    one-layer handle holding a copy of that layer (`set_resolution` empties its cache, so the
    next `fingerprint()` rasterizes the layer and hashes it, with no JSON and no other layer).

Input: the largest G-code file of the corpus, loaded with `Program.from_gcode`; when the module
has no G-code loader, a generated plan of similar size (said so in the output).

    PYTHONPATH=build:src python bench/bench_agent_loop.py [--steps N] [--gcode FILE]
"""

import argparse
import json
import pathlib
import random
import statistics
import time

import _tolm
from _tolm import Program

CORPUS = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "corpus" / "gcode"


def generated_plan(layers=250, toolpaths=60, points=40, seed=1):
    """Closed loops and zig-zags around a 40 mm part, 0.2 mm layers."""
    rnd = random.Random(seed)
    out = []
    for k in range(layers):
        tps = []
        for t in range(toolpaths):
            cx, cy = rnd.randint(-20000, 20000), rnd.randint(-20000, 20000)
            pts = [
                {"x": cx + rnd.randint(-3000, 3000) * 2, "y": cy + rnd.randint(-3000, 3000) * 2}
                for _ in range(points)
            ]
            if t % 2 == 0:
                pts.append(dict(pts[0]))
            tps.append({"kind": {"Extrude": "Perimeter"}, "path": {"points": pts}, "width_um": 450})
            tps.append({"kind": "Travel", "path": {"points": [pts[-1], {"x": cx, "y": cy}]}, "width_um": 0})
        out.append({"z_um": 200 * (k + 1), "toolpaths": tps})
    return json.dumps({"layers": out})


def load(args):
    if args.gcode:
        path = pathlib.Path(args.gcode)
    else:
        files = sorted(CORPUS.glob("*.gcode"), key=lambda p: p.stat().st_size)
        path = files[-1] if files else None
    if hasattr(Program, "from_gcode") and path is not None:
        return Program.from_gcode(path.read_text(errors="replace"), args.resolution), f"{path.name} (from_gcode)"
    if hasattr(_tolm, "parse_gcode") and path is not None:
        program_json = _tolm.parse_gcode(path.read_text(errors="replace"))[0]
        return Program.from_json(program_json, args.resolution), f"{path.name} (parse_gcode + from_json)"
    why = "the module has no G-code parser yet" if path is not None else "no corpus found"
    return Program.from_json(generated_plan(), args.resolution), f"generated plan ({why})"


def timed(fn):
    t0 = time.perf_counter_ns()
    out = fn()
    return time.perf_counter_ns() - t0, out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--steps", type=int, default=2000)
    parser.add_argument("--scratch-reps", type=int, default=5)
    parser.add_argument("--resolution", type=int, default=200)
    parser.add_argument("--gcode")
    args = parser.parse_args()

    h, source = load(args)
    reference = h.copy()
    h.fingerprint(), reference.fingerprint()
    plan = json.loads(h.to_json())
    print(f"input: {source}: {h.layer_count()} layers, {h.action_count()} legal actions, {h!r}")

    rnd = random.Random(7)
    step_ns, touched_layers = [], []
    for _ in range(args.steps):
        seed = rnd.getrandbits(64)
        t0 = time.perf_counter_ns()
        touched = h.apply_sampled(seed)
        same = h.same_material(reference)
        step_ns.append(time.perf_counter_ns() - t0)
        touched_layers.append(touched[0] if touched else None)
        assert isinstance(same, bool)

    # The same loop with every touched layer flagged by hand, as if each edit could change its
    # cells: the refresh then re-rasterizes one layer per step.
    forced = Program.from_json(h.to_json(), args.resolution)
    forced_reference = forced.copy()
    forced.fingerprint(), forced_reference.fingerprint()
    forced_ns = []
    for _ in range(min(args.steps, 500)):
        seed = rnd.getrandbits(64)
        t0 = time.perf_counter_ns()
        touched = forced.apply_sampled(seed)
        for layer_index in touched:
            forced.mark_dirty(layer_index)
        forced.same_material(forced_reference)
        forced_ns.append(time.perf_counter_ns() - t0)

    text = h.to_json()
    scratch_ns = [timed(lambda: _tolm.material_fingerprint(text, args.resolution))[0] for _ in range(args.scratch_reps)]
    export_ns = [timed(lambda: _tolm.material_fingerprint(h.to_json(), args.resolution))[0] for _ in range(args.scratch_reps)]
    assert _tolm.material_fingerprint(text, args.resolution) == h.fingerprint()

    # The floor, step by step: the same touched layer rasterized and hashed alone.
    edited = json.loads(text)["layers"]
    singles = {}
    floor_ns = []
    for layer_index in touched_layers:
        if layer_index is None:
            continue
        if layer_index not in singles:
            singles[layer_index] = Program.from_json(json.dumps({"layers": [edited[layer_index]]}), args.resolution)
        single = singles[layer_index]

        def one():
            single.set_resolution(args.resolution)
            return single.fingerprint()

        floor_ns.append(timed(one)[0])

    step = statistics.median(step_ns)
    scratch = statistics.median(scratch_ns)
    export = statistics.median(export_ns)
    floor = statistics.median(floor_ns) if floor_ns else float("nan")
    slow = sum(1 for ns in step_ns if ns > floor / 4)
    print(f"steps: {args.steps}, distinct touched layers: {len(singles)}, "
          f"steps slower than a quarter of the floor (layer re-rasterized): {slow}")
    print(f"{'median per step (apply_sampled + same_material)':58s} {step / 1e3:12.1f} us")
    print(f"{'mean per step':58s} {statistics.fmean(step_ns) / 1e3:12.1f} us")
    print(f"{'90th percentile per step':58s} {statistics.quantiles(step_ns, n=10)[-1] / 1e3:12.1f} us")
    print(f"{'from scratch: material_fingerprint(json)':58s} {scratch / 1e3:12.1f} us")
    print(f"{'from scratch: material_fingerprint(h.to_json())':58s} {export / 1e3:12.1f} us")
    print(f"{'floor: touched layer alone (set_resolution + fingerprint)':58s} {floor / 1e3:12.1f} us")
    forced_step = statistics.median(forced_ns)
    print(f"{'median per step, touched layer always re-rasterized':58s} {forced_step / 1e3:12.1f} us")
    print(f"ratio from-scratch / step:               {scratch / step:10.0f}x   (target >= 1000x)")
    print(f"ratio from-scratch incl. export / step:  {export / step:10.0f}x")
    print(f"ratio step / floor (median):             {step / floor:10.4f}x   (target <= 2x)")
    print(f"ratio forced step / floor (median):      {forced_step / floor:10.2f}x")
    print(f"ratio step / floor (mean):               {statistics.fmean(step_ns) / statistics.fmean(floor_ns):10.4f}x")


if __name__ == "__main__":
    main()
