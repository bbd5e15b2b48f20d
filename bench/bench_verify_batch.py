"""verify_batch of 64 candidates of a real corpus print versus a Python loop that checks each
candidate with material_fingerprint (or, where that function is not available, by comparing
occupancy JSON), measured in one run.

Run:  PYTHONPATH=build python bench/bench_verify_batch.py [--file NAME] [--candidates N]
"""

import argparse
import json
import pathlib
import time

import _tolm

CORPUS = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "corpus" / "gcode"


def split_paths(toolpaths):
    """Every path of three or more points cut in two at an inner vertex: the same segments, so
    the same material, but different toolpaths."""
    out = []
    for toolpath in toolpaths:
        points = toolpath["path"]["points"]
        if toolpath["kind"] == "Travel" or len(points) < 3:
            out.append(toolpath)
            continue
        middle = len(points) // 2
        for part in (points[: middle + 1], points[middle:]):
            piece = dict(toolpath, path={"points": part})
            piece.pop("flow_e", None)
            out.append(piece)
    return out


def nudge(toolpaths, dx):
    return [dict(t, path={"points": [dict(p, x=p["x"] + dx) for p in t["path"]["points"]]}) for t in toolpaths]


def candidates_of(program_json, count, scenario):
    """Candidates of the plan. "mixed": copies, every third with the toolpaths of every layer in
    reverse order; "split": every candidate with its paths split at an inner vertex; "nudged":
    every point moved 1 or 2 um along X (other material, found at the first layer); "doubled":
    every extrusion drawn once more at half width (the same material from other capsules, so
    every layer of every candidate is rasterized: the worst case). In all, every fifth loses its
    last layer."""
    plan = json.loads(program_json)
    out = []
    for k in range(count):
        layers = [dict(layer) for layer in plan["layers"]]
        for layer in layers:
            if scenario == "split":
                layer["toolpaths"] = split_paths(layer["toolpaths"])
            elif scenario == "nudged":
                layer["toolpaths"] = nudge(layer["toolpaths"], 1 + k % 2)
            elif scenario == "doubled":
                layer["toolpaths"] = layer["toolpaths"] + [
                    dict(t, width_um=t["width_um"] // 2) for t in layer["toolpaths"] if t["kind"] != "Travel"]
            elif k % 3 == 1:
                layer["toolpaths"] = layer["toolpaths"][::-1]
        if k % 5 == 4:
            layers = layers[:-1]
        out.append(json.dumps({"layers": layers}))
    return out


def best_of(repeat, fn):
    times, result = [], None
    for _ in range(repeat):
        t = time.perf_counter()
        result = fn()
        times.append(time.perf_counter() - t)
    return min(times), result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--file", default="prusaslicer-plant-sign.gcode")
    parser.add_argument("--candidates", type=int, default=64)
    parser.add_argument("--res", type=int, default=200)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    text = (CORPUS / args.file).read_text(encoding="utf-8", errors="replace")
    reference, _ = _tolm.parse_gcode(text)
    layers = len(json.loads(reference)["layers"])
    print(f"{args.file}: {layers} layers, {len(reference) / 1e6:.1f} MB of JSON per candidate, "
          f"{args.candidates} candidates, {args.res} um cells")

    for label, scenario in (("copies, every third reordered", "mixed"),
                            ("every candidate's paths split", "split"),
                            ("every point nudged: other material", "nudged"),
                            ("every extrusion doubled at half width: all layers rasterized", "doubled")):
        candidates = candidates_of(reference, args.candidates, scenario)
        if hasattr(_tolm, "material_fingerprint"):
            loop_name = "material_fingerprint"

            def loop():
                expected = _tolm.material_fingerprint(reference, args.res)
                return [_tolm.material_fingerprint(c, args.res) == expected for c in candidates]
        else:
            loop_name = "occupancy (material_fingerprint not available)"

            def loop():
                expected = _tolm.occupancy(reference, args.res)
                return [_tolm.occupancy(c, args.res) == expected for c in candidates]

        batch_t, batch = best_of(args.repeat, lambda: _tolm.verify_batch(candidates, reference, args.res))
        loop_t, looped = best_of(args.repeat, loop)
        assert batch == looped, "the two checks disagree"
        print(f"[{label}] ({sum(batch)} same material)")
        print(f"  verify_batch:                {batch_t * 1000:9.1f} ms")
        print(f"  Python loop, {loop_name}: {loop_t * 1000:9.1f} ms")
        print(f"  ratio (loop / verify_batch): {loop_t / batch_t:9.2f}x")


if __name__ == "__main__":
    main()
