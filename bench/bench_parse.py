"""G-code parsing throughput and memory, side by side in one run.

Inputs: the largest file of the real corpus, and a generated PrusaSlicer-style file of about
100 MB (made here, kept in a temporary directory). Measured on each:

  tolm parse (core)     the parser alone, a C++ program built on demand under build/bench
  tolm parse_gcode      the module function: parse, write program and diagnostics JSON, make str
  bytes.count(b"\\n")    a floor: counting the lines of the same bytes
  gcodeparser           pure-Python parser from PyPI (parse_gcode_lines, all lines consumed)
  pygcode               pure-Python parser from PyPI (pygcode.Line per line)

The pure-Python parsers are timed on a slice of the 100 MB text and extrapolated per MB (the
output says so). Peak memory: a subprocess parses the 100 MB text and reports its peak RSS
beside the estimated size of the parsed program records.

Usage: PYTHONPATH=build:src python bench/bench_parse.py [--mb 100] [--repeat 3]
"""

import argparse
import json
import math
import os
import pathlib
import random
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
CORPUS = ROOT.parent / "shared" / "corpus" / "gcode"
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import _build  # noqa: E402

CORE_BENCH = _build.program("bench_parse")

import _tolm  # noqa: E402

try:
    import gcodeparser
except ImportError:  # pragma: no cover - optional comparison
    gcodeparser = None
try:
    import pygcode
except ImportError:  # pragma: no cover - optional comparison
    pygcode = None


def generate(target_mb, seed=7):
    """PrusaSlicer-style G-code of about `target_mb` MB: layers, tags, widths, moves, arcs."""
    rng = random.Random(seed)
    roles = ["External perimeter", "Perimeter", "Internal infill", "Solid infill", "Skirt/Brim"]

    def layer_body():
        out = []
        x, y = 100.0, 100.0
        for _ in range(40):
            out.append(f";TYPE:{rng.choice(roles)}")
            out.append(f";WIDTH:{rng.choice(['0.45', '0.42', '0.5'])}")
            out.append("G1 E-.8 F2100")
            x, y = rng.uniform(50, 150), rng.uniform(50, 150)
            out.append(f"G1 X{x:.3f} Y{y:.3f} F9000")
            out.append("G1 E.8 F2100")
            for k in range(60):
                x += rng.uniform(-2, 2)
                y += rng.uniform(-2, 2)
                if k % 25 == 24:
                    out.append(f"G3 X{x:.3f} Y{y:.3f} I{rng.uniform(-3, 3):.3f} J{rng.uniform(-3, 3):.3f} E.05123")
                else:
                    out.append(f"G1 X{x:.3f} Y{y:.3f} E{rng.uniform(0.01, 0.09):.5f}")
            out.append("M106 S255")
        return "\n".join(out) + "\n"

    bodies = [layer_body() for _ in range(8)]
    parts = ["; generated for bench_parse\nG21\nG90\nM83\nM104 S215\nG28\n"]
    size = len(parts[0])
    layer = 0
    while size < target_mb * 1_000_000:
        layer += 1
        z = layer * 0.2
        head = f";LAYER_CHANGE\n;Z:{z:.2f}\n;HEIGHT:0.2\nG1 Z{z:.2f} F9000\n"
        body = bodies[layer % len(bodies)]
        parts.append(head)
        parts.append(body)
        size += len(head) + len(body)
    return "".join(parts)


def best_time(fn, repeat):
    best = math.inf
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def slice_lines(text, nbytes):
    cut = text.find("\n", nbytes)
    return text if cut < 0 else text[: cut + 1]


def run_gcodeparser(text):
    for _ in gcodeparser.parse_gcode_lines(text, include_comments=True):
        pass


def run_pygcode(text):
    for line in text.split("\n"):
        pygcode.Line(line)


def core_parse(path, repeat):
    """(MB/s wall, MB/s on-CPU, layers, toolpaths, points, peak KiB, KiB before) of the C++ program."""
    if not CORE_BENCH.exists():
        return None
    out = subprocess.run([str(CORE_BENCH), str(path), str(repeat)], capture_output=True, text=True, check=True)
    wall, cpu, _, layers, toolpaths, points, peak, before = out.stdout.split()
    return float(wall), float(cpu), int(layers), int(toolpaths), int(points), int(peak), int(before)


def measure(label, text, path, repeat, python_slice_mb):
    mb = len(text.encode()) / 1e6
    rows = []
    core = core_parse(path, repeat)
    if core:
        rows.append(("tolm parse (core)", core[0], f"wall time; {core[1]:.1f} MB/s in on-CPU time"))
    t = best_time(lambda: _tolm.parse_gcode(text), repeat)
    rows.append(("tolm parse_gcode", mb / t, "parse + program/diagnostics JSON + str"))
    data = text.encode()
    t = best_time(lambda: data.count(b"\n"), repeat)
    rows.append(('bytes.count(b"\\n")', mb / t, ""))
    for name, module, runner, cap in [
        ("gcodeparser", gcodeparser, run_gcodeparser, python_slice_mb),
        ("pygcode", pygcode, run_pygcode, python_slice_mb / 10),
    ]:
        if module is None:
            rows.append((name, None, f"not installed (pip install {name})"))
            continue
        part = slice_lines(text, int(cap * 1e6)) if mb > cap else text
        part_mb = len(part.encode()) / 1e6
        t = best_time(lambda: runner(part), 1)
        note = f"timed on {part_mb:.2f} MB, extrapolated per MB" if part is not text else ""
        rows.append((name, part_mb / t, note))

    tolm = rows[0][1]
    print(f"\n{label}: {mb:.1f} MB, {text.count(chr(10)) + 1} lines (load average {os.getloadavg()[0]:.1f})")
    print(f"  {'parser':<22}{'MB/s':>10}{'tolm / this':>20}  note")
    for name, speed, note in rows:
        if speed is None:
            print(f"  {name:<22}{'-':>10}{'-':>20}  {note}")
        else:
            print(f"  {name:<22}{speed:>10.1f}{tolm / speed:>19.2f}x  {note}")
    return core


# ru_maxrss of a child starts at the parent's RSS, so the child resets and reads its own peak.
MEMORY_CHILD = r"""
import json, resource, sys
import _tolm

def status_kib(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field):
                return int(line.split()[1])
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss

text = open(sys.argv[1], encoding="utf-8").read()
before = status_kib("VmRSS:")
try:
    with open("/proc/self/clear_refs", "w") as refs:
        refs.write("5")
except OSError:
    pass
program_json, diagnostics_json = _tolm.parse_gcode(text)
peak = status_kib("VmHWM:")
print(json.dumps({"before_kib": before, "peak_kib": peak, "json_bytes": len(program_json)}))
"""


def memory(path, core):
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join([str(ROOT / "build"), str(ROOT / "src"), env.get("PYTHONPATH", "")])
    out = subprocess.run([sys.executable, "-c", MEMORY_CHILD, str(path)], capture_output=True, text=True, env=env, check=True)
    child = json.loads(out.stdout)
    text_mb = path.stat().st_size / 1e6
    print(f"\nPeak memory parsing the {text_mb:.0f} MB file:")
    if core:
        _, _, layers, toolpaths, points, peak, before = core
        # Records: 16 bytes per point, a Toolpath record (64 bytes) per toolpath, a Layer (32) per layer.
        program_mb = (points * 16 + toolpaths * 64 + layers * 32) / 1e6
        print(f"  program records (estimate): {program_mb:8.1f} MB  ({points} points, {toolpaths} toolpaths, {layers} layers)")
        print(f"  core parse, peak RSS above the loaded text: {(peak - before) / 1024:8.1f} MB  "
              f"({(peak - before) / 1024 / program_mb:.2f}x the program records)")
    grown = (child["peak_kib"] - child["before_kib"]) / 1024
    print(f"  parse_gcode, peak RSS above the loaded str: {grown:8.1f} MB  "
          f"(program JSON alone is {child['json_bytes'] / 1e6:.1f} MB, held as C++ text and then as str)")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--mb", type=float, default=100.0, help="size of the generated file in MB")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--python-slice-mb", type=float, default=2.0, help="slice the pure-Python parsers read")
    args = parser.parse_args()

    missing = [name for name, module in [("gcodeparser", gcodeparser), ("pygcode", pygcode)] if module is None]
    if missing:
        print(f"hint: for the comparison run `pip install {' '.join(missing)}`")

    files = sorted(CORPUS.glob("*.gcode"), key=lambda p: p.stat().st_size)
    if files:
        largest = files[-1]
        measure(f"corpus {largest.name}", largest.read_bytes().decode("utf-8"), largest, args.repeat, args.python_slice_mb)
    else:
        print(f"corpus not found at {CORPUS}; skipping the corpus file")

    with tempfile.TemporaryDirectory() as tmp:
        text = generate(args.mb)
        path = pathlib.Path(tmp) / "generated.gcode"
        path.write_text(text, encoding="utf-8")
        core = measure("generated PrusaSlicer-style file", text, path, args.repeat, args.python_slice_mb)
        del text
        memory(path, core)


if __name__ == "__main__":
    main()
