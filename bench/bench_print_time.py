"""Kinematic print time: _tolm against the same model in plain Python and in NumPy.

Input: the largest print of the G-code corpus (parsed by `_tolm.parse_gcode`), or, when the
corpus or the parser is missing, a generated slicer-like plan. Every figure comes from this one
run; ratios are reported side by side. Also reports feature-matrix rows per second, end to end
(`feature_matrix(json)` -> `numpy.array(flat).reshape(rows, cols)`).

    PYTHONPATH=build python bench/bench_print_time.py [--repeat N] [--gcode FILE]
"""

import argparse
import json
import math
import pathlib
import time

import numpy as np

import _tolm

CORPUS = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "corpus" / "gcode"
PROFILE = json.loads(_tolm.default_machine_profile())


# --- input ------------------------------------------------------------------------------------


def generated_plan(layers=120, side_um=40000, pitch_um=450):
    """A slicer-like plan: per layer a perimeter, a travel and a zigzag infill."""
    out = []
    for k in range(layers):
        z = 200 * (k + 1)
        s = side_um
        square = [(0, 0), (s, 0), (s, s), (0, s), (0, 0)]
        zig = []
        y = pitch_um
        while y < s - pitch_um:
            row = [(pitch_um, y), (s - pitch_um, y)]
            zig.extend(row if (y // pitch_um) % 2 else row[::-1])
            y += pitch_um
        toolpaths = [
            {"kind": {"Extrude": "Perimeter"}, "path": {"points": [{"x": x, "y": y} for x, y in square]},
             "width_um": 450},
            {"kind": "Travel", "path": {"points": [{"x": 0, "y": 0}, {"x": zig[0][0], "y": zig[0][1]}]},
             "width_um": 0},
            {"kind": {"Extrude": "Infill"}, "path": {"points": [{"x": x, "y": y} for x, y in zig]},
             "width_um": 450},
        ]
        out.append({"z_um": z, "toolpaths": toolpaths})
    return json.dumps({"layers": out}), "generated plan"


def load_input(gcode_path):
    if gcode_path is None and hasattr(_tolm, "parse_gcode") and CORPUS.is_dir():
        files = sorted(CORPUS.glob("*.gcode"), key=lambda p: p.stat().st_size)
        gcode_path = files[-1] if files else None
    if gcode_path is not None and hasattr(_tolm, "parse_gcode"):
        program_json, _ = _tolm.parse_gcode(pathlib.Path(gcode_path).read_text(errors="replace"))
        return program_json, pathlib.Path(gcode_path).name
    return generated_plan()


def toolpaths_of(program_json):
    """(is_travel, [(x_um, y_um), ...]) per toolpath, in program order."""
    out = []
    for layer in json.loads(program_json)["layers"]:
        for tp in layer["toolpaths"]:
            pts = [(p["x"], p["y"]) if isinstance(p, dict) else (p[0], p[1])
                   for p in (tp["path"]["points"] if isinstance(tp["path"], dict) else tp["path"][0])]
            out.append((tp["kind"] == "Travel" or tp["kind"] == {"Travel": None}, pts))
    return out


# --- the model in plain Python ----------------------------------------------------------------


def python_print_time(toolpaths, prof):
    a = prof["acceleration_mm_s2"]
    delta = max(prof["junction_deviation_mm"], 0.0)
    total = 0.0
    for is_travel, pts in toolpaths:
        v = prof["max_travel_speed_mm_s"] if is_travel else prof["max_print_speed_mm_s"]
        n = len(pts)
        if v <= 0 or n < 2:
            continue
        lens = []
        for k in range(n - 1):
            dx = (pts[k + 1][0] - pts[k][0]) / 1000
            dy = (pts[k + 1][1] - pts[k][1]) / 1000
            lens.append(math.sqrt(dx * dx + dy * dy))
        if a <= 0:
            total += sum(l / max(v, 1e-9) for l in lens if l > 0)
            continue
        s = [0.0] * n
        for j in range(1, n - 1):
            ux, uy = (pts[j][0] - pts[j - 1][0]) / 1000, (pts[j][1] - pts[j - 1][1]) / 1000
            wx, wy = (pts[j + 1][0] - pts[j][0]) / 1000, (pts[j + 1][1] - pts[j][1]) / 1000
            nu, nw = math.sqrt(ux * ux + uy * uy), math.sqrt(wx * wx + wy * wy)
            if nu == 0 or nw == 0:
                continue
            c = min(max((ux * wx + uy * wy) / (nw * nu), -1.0), 1.0)
            h = math.sqrt(max((c + 1) * 0.5, 0.0))
            s[j] = v if h >= 0.999999999 else min(v, math.sqrt(delta * h / (1 - h) * a))
        two_a = 2 * a
        for k in range(n - 2, -1, -1):
            s[k] = min(s[k], math.sqrt(lens[k] * two_a + s[k + 1] * s[k + 1]))
        for k in range(1, n):
            s[k] = min(s[k], math.sqrt(lens[k - 1] * two_a + s[k - 1] * s[k - 1]))
        for k in range(n - 1):
            l = lens[k]
            if l <= 0:
                continue
            vi, vo = s[k], s[k + 1]
            vc = max(vi, vo, v)
            da, dd = (vc * vc - vi * vi) / two_a, (vc * vc - vo * vo) / two_a
            if l >= da + dd:
                total += (vc - vi) / a + (l - da - dd) / max(vc, 1e-9) + (vc - vo) / a
            else:
                vp = math.sqrt(max((vo * vo + two_a * l + vi * vi) * 0.5, 0.0))
                total += max(vp - vo, 0.0) / a + max(vp - vi, 0.0) / a
    return total


# --- the model vectorised with NumPy ----------------------------------------------------------


def numpy_arrays(toolpaths):
    """Flat vertex arrays: coordinates in mm, per-vertex cruise speed class and path starts."""
    xs, ys, travel, first = [], [], [], []
    for is_travel, pts in toolpaths:
        if len(pts) < 2:
            continue
        first.append(len(xs))
        for x, y in pts:
            xs.append(x)
            ys.append(y)
        travel.extend([is_travel] * len(pts))
    return (np.array(xs, dtype=np.float64) / 1000, np.array(ys, dtype=np.float64) / 1000,
            np.array(travel, dtype=bool), np.array(first, dtype=np.int64))


def numpy_print_time(arrays, prof):
    x, y, travel, first = arrays
    n = len(x)
    if n == 0:
        return 0.0
    a = prof["acceleration_mm_s2"]
    delta = max(prof["junction_deviation_mm"], 0.0)
    v = np.where(travel, prof["max_travel_speed_mm_s"], prof["max_print_speed_mm_s"])
    start = np.zeros(n, dtype=bool)
    start[first] = True
    end = np.zeros(n, dtype=bool)
    end[np.r_[first[1:], n] - 1] = True
    # Segment k runs from vertex k to k + 1; segments that cross a toolpath boundary are masked.
    dx, dy = np.diff(x), np.diff(y)
    seg = np.sqrt(dx * dx + dy * dy)
    inside = ~end[:-1]
    seg = np.where(inside, seg, 0.0)
    # Vertex limits.
    s = np.zeros(n)
    ux, uy, wx, wy = dx[:-1], dy[:-1], dx[1:], dy[1:]
    nu, nw = np.hypot(ux, uy), np.hypot(wx, wy)
    with np.errstate(divide="ignore", invalid="ignore"):
        c = np.clip((ux * wx + uy * wy) / (nw * nu), -1.0, 1.0)
        h = np.sqrt(np.maximum((c + 1) * 0.5, 0.0))
        corner = np.minimum(v[1:-1], np.sqrt(delta * h / (1 - h) * a))
    mid = np.where(h >= 0.999999999, v[1:-1], corner)
    mid = np.where((nu == 0) | (nw == 0), 0.0, mid)
    s[1:-1] = mid
    s[start | end] = 0.0
    # Both passes as cumulative minima in squared speeds: with C the running sum of 2a * length,
    # backward S_k = min_{j>=k}(S_j + C_j) - C_k and forward S_k = C_k + min_{j<=k}(S_j - C_j).
    # A toolpath's end (start) vertex has speed 0 and dominates everything beyond it.
    sq = s * s
    cum = np.concatenate(([0.0], np.cumsum(2 * a * seg)))
    sq = np.minimum(sq, np.minimum.accumulate((sq + cum)[::-1])[::-1] - cum)
    sq = np.minimum(sq, np.minimum.accumulate(sq - cum) + cum)
    s = np.sqrt(np.maximum(sq, 0.0))
    # Segment times.
    vi, vo, vseg = s[:-1], s[1:], v[:-1]
    vc = np.maximum(np.maximum(vi, vo), vseg)
    da, dd = (vc * vc - vi * vi) / (2 * a), (vc * vc - vo * vo) / (2 * a)
    trap = (vc - vi) / a + (seg - da - dd) / np.maximum(vc, 1e-9) + (vc - vo) / a
    vp = np.sqrt(np.maximum((vo * vo + 2 * a * seg + vi * vi) * 0.5, 0.0))
    tri = np.maximum(vp - vo, 0.0) / a + np.maximum(vp - vi, 0.0) / a
    t = np.where(seg >= da + dd, trap, tri)
    return float(np.sum(np.where(inside & (seg > 0) & (vseg > 0), t, 0.0)))


# --- run --------------------------------------------------------------------------------------


def best_of(repeat, fn):
    best = math.inf
    result = None
    for _ in range(repeat):
        t0 = time.perf_counter()
        result = fn()
        best = min(best, time.perf_counter() - t0)
    return best, result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--gcode", default=None)
    args = parser.parse_args()

    program_json, source = load_input(args.gcode)
    toolpaths = toolpaths_of(program_json)
    points = sum(len(p) for _, p in toolpaths)
    print(f"input: {source}: {len(toolpaths)} toolpaths, {points} points, "
          f"{len(program_json) / 1e6:.1f} MB of program JSON")

    t_native, report = best_of(args.repeat, lambda: json.loads(_tolm.print_time(program_json)))
    # program_stats reads the same JSON and does almost nothing else: the difference is an
    # estimate of the kinematics alone.
    t_read, _ = best_of(args.repeat, lambda: _tolm.program_stats(program_json))
    t_kinematics = max(t_native - t_read, 1e-9)
    t_python, py_total = best_of(max(1, args.repeat // 2), lambda: python_print_time(toolpaths, PROFILE))
    t_arrays, arrays = best_of(args.repeat, lambda: numpy_arrays(toolpaths))
    t_numpy, np_total = best_of(args.repeat, lambda: numpy_print_time(arrays, PROFILE))
    t_loads, _ = best_of(args.repeat, lambda: toolpaths_of(program_json))

    native_total = report["total_s"]
    print(f"total_s: tolm {native_total!r}, python {py_total!r}, numpy {np_total!r}")
    assert native_total == py_total or math.isclose(native_total, py_total, rel_tol=1e-12)
    assert math.isclose(native_total, np_total, rel_tol=1e-9)

    print(f"tolm print_time (JSON text in, report JSON out): {t_native * 1e3:9.2f} ms")
    print(f"plain Python model (prepared point lists):        {t_python * 1e3:9.2f} ms"
          f"   tolm is {t_python / t_native:7.1f}x faster")
    print(f"NumPy model (prepared arrays):                    {t_numpy * 1e3:9.2f} ms"
          f"   tolm is {t_numpy / t_native:7.1f}x faster")
    print(f"NumPy model incl. json.loads + array building:    "
          f"{(t_loads + t_arrays + t_numpy) * 1e3:9.2f} ms"
          f"   tolm is {(t_loads + t_arrays + t_numpy) / t_native:7.1f}x faster")

    if hasattr(_tolm, "Program") and hasattr(_tolm.Program, "print_time_s"):
        handle = _tolm.Program.from_json(program_json)
        t_handle, handle_total = best_of(args.repeat, handle.print_time_s)
        assert handle_total == native_total
        print(f"Program handle print_time_s (no JSON):          {t_handle * 1e3:9.2f} ms"
              f"   vs Python {t_python / t_handle:7.1f}x, vs NumPy {t_numpy / t_handle:7.1f}x")
    else:
        # A rough estimate from two noisy timings; the handle measures the same without JSON.
        print(f"tolm kinematics alone (print_time - program_stats): {t_kinematics * 1e3:7.2f} ms"
              f"   vs Python {t_python / t_kinematics:7.1f}x, vs NumPy {t_numpy / t_kinematics:7.1f}x"
              "  (estimate)")

    def features():
        rows, cols, flat = _tolm.feature_matrix(program_json)
        return np.array(flat).reshape(rows, cols)

    t_features, matrix = best_of(args.repeat, features)
    print(f"feature_matrix -> numpy {matrix.shape}: {t_features * 1e3:.2f} ms, "
          f"{matrix.shape[0] / t_features:,.0f} rows/s end to end")


if __name__ == "__main__":
    main()
