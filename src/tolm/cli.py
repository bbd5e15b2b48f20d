"""The `tolm` command line: check G-code files, compare two plans, render a layer."""

from __future__ import annotations

import argparse
import json
import os
import sys
from dataclasses import dataclass
from importlib import resources

import _tolm

from tolm.travel import travel_after_ordering_um

SAMPLE_NAME = "sample.gcode"
LARGE_FILE_BYTES = 4 * 1024 * 1024


class UsageError(Exception):
    """A problem with the command line or its files: one line, exit status 2."""


# ----------------------------------------------------------------------------------- output


class Style:
    """ANSI colour when writing to a terminal that supports it."""

    def __init__(self, stream):
        self.enabled = (
            hasattr(stream, "isatty") and stream.isatty()
            and os.environ.get("NO_COLOR") is None and os.environ.get("TERM") != "dumb"
        )

    def _wrap(self, code, text):
        return f"\033[{code}m{text}\033[0m" if self.enabled else text

    def good(self, text):
        return self._wrap("32", text)

    def bad(self, text):
        return self._wrap("31;1", text)

    def head(self, text):
        return self._wrap("1", text)

    def dim(self, text):
        return self._wrap("2", text)


class Progress:
    """A one-line progress indicator on stderr, shown only on a terminal for long work."""

    def __init__(self, total_files, total_bytes):
        self.enabled = sys.stderr.isatty() and (total_files > 1 or total_bytes > LARGE_FILE_BYTES)
        self.total = total_files
        self.done = 0

    def step(self, name, stage):
        if not self.enabled:
            return
        width = 24
        filled = int(width * self.done / max(self.total, 1))
        bar = "#" * filled + "-" * (width - filled)
        sys.stderr.write(f"\r[{bar}] {self.done}/{self.total} {name}: {stage}".ljust(100)[:100])
        sys.stderr.flush()

    def file_done(self):
        self.done += 1

    def close(self):
        if self.enabled:
            sys.stderr.write("\r" + " " * 100 + "\r")
            sys.stderr.flush()


def read_text(path: str) -> str:
    """The file's text; any problem is a UsageError with a one-line message."""
    if os.path.isdir(path):
        raise UsageError(f"{path}: is a directory")
    try:
        with open(path, "rb") as handle:
            data = handle.read()
    except FileNotFoundError:
        raise UsageError(f"{path}: no such file") from None
    except OSError as error:
        raise UsageError(f"{path}: cannot read ({error.strerror})") from None
    return data.decode("utf-8", errors="replace")


def sample_text() -> str:
    return resources.files("tolm").joinpath("data", SAMPLE_NAME).read_text(encoding="utf-8")


# ------------------------------------------------------------------------------------ check


@dataclass
class Checked:
    name: str
    report: dict
    ok: bool


def check_text(name: str, text: str, profile_json: str | None, resolution_um: int,
               progress: Progress) -> Checked:
    progress.step(name, "parsing")
    program_json, diagnostics_json = _tolm.parse_gcode(text)
    diagnostics = json.loads(diagnostics_json)
    program = json.loads(program_json)

    progress.step(name, "print time")
    print_time = json.loads(_tolm.print_time(program_json, profile_json))
    printability = json.loads(_tolm.is_printable(program_json, profile_json, resolution_um))

    progress.step(name, "statistics")
    stats = json.loads(_tolm.program_stats(program_json))
    deposit = json.loads(_tolm.deposit_stats(program_json, resolution_um))
    volume = json.loads(_tolm.volume_stats(program_json, resolution_um))

    progress.step(name, "verification")
    verification = json.loads(_tolm.verify_gcode(text, resolution_um))
    roundtrip = json.loads(_tolm.verify_roundtrip(program_json, resolution_um))

    progress.step(name, "travel order")
    # The travel sum of a plan without travels is -0.0; report it as 0.
    travel_before_mm = stats["travel_distance_um"] / 1000.0 + 0.0
    travel_after_mm = travel_after_ordering_um(program) / 1000.0 + 0.0

    layers = print_time["per_layer_s"]
    slowest = max(range(len(layers)), key=lambda k: layers[k][1]) if layers else None
    fastest = min(range(len(layers)), key=lambda k: layers[k][1]) if layers else None
    roles = sorted({
        toolpath["kind"]["Extrude"]
        for layer in program["layers"] for toolpath in layer["toolpaths"]
        if toolpath["kind"] != "Travel"
    })
    verified = (
        verification["pass_preserves_denotation"] and verification["pass_preserves_deposit"]
        and verification["translation_invariant"] and roundtrip["occupancy_preserved"]
        and roundtrip["deposit_preserved"]
    )
    report = {
        "file": name,
        "parse": {
            "layers": diagnostics["layers"],
            "extruding_toolpaths": diagnostics["extruding_toolpaths"],
            "travel_toolpaths": diagnostics["travel_toolpaths"],
            "roles": roles,
            "unknown_roles": diagnostics["unknown_roles"],
            "fallback_role_moves": diagnostics["fallback_role_moves"],
            "estimated_width_moves": diagnostics["estimated_width_moves"],
            "skipped_codes": diagnostics["skipped_codes"],
            "arcs_flattened": diagnostics["arcs_flattened"],
        },
        "print_time": {
            "total_s": print_time["total_s"],
            "print_move_s": print_time["print_move_s"],
            "travel_move_s": print_time["travel_move_s"],
            "slowest_layer": None if slowest is None else
            {"index": slowest, "z_um": layers[slowest][0], "seconds": layers[slowest][1]},
            "fastest_layer": None if fastest is None else
            {"index": fastest, "z_um": layers[fastest][0], "seconds": layers[fastest][1]},
        },
        "printability": printability,
        "deposit": deposit,
        "volume": {"total_volume_mm3": volume["total_volume_mm3"]},
        "verification": {
            "pass_preserves_denotation": verification["pass_preserves_denotation"],
            "pass_preserves_deposit": verification["pass_preserves_deposit"],
            "translation_invariant": verification["translation_invariant"],
            "roundtrip_occupancy_preserved": roundtrip["occupancy_preserved"],
            "roundtrip_deposit_preserved": roundtrip["deposit_preserved"],
        },
        "travel_order": {
            "travel_before_mm": travel_before_mm,
            "travel_after_mm": travel_after_mm,
            "saved_mm": travel_before_mm - travel_after_mm,
        },
        "has_geometry": verification["has_geometry"],
        "printable": printability["printable"],
        "verified": verified,
    }
    # A file that deposits nothing is trivially printable; it is still not a print.
    ok = verification["has_geometry"] and printability["printable"] and verified
    return Checked(name, report, ok)


def format_seconds(seconds: float) -> str:
    seconds = max(seconds, 0.0)
    hours, rest = divmod(seconds, 3600)
    minutes, secs = divmod(rest, 60)
    if hours:
        return f"{int(hours)}h {int(minutes):02d}m {secs:04.1f}s"
    if minutes:
        return f"{int(minutes)}m {secs:04.1f}s"
    return f"{secs:.2f}s"


def print_check(checked: Checked, style: Style) -> None:
    r = checked.report
    p = r["parse"]
    t = r["print_time"]
    pr = r["printability"]
    v = r["verification"]
    tr = r["travel_order"]
    yes = style.good("yes")
    no = style.bad("NO")
    verdict = style.good("OK") if checked.ok else style.bad("PROBLEMS")
    print(style.head(f"{checked.name}") + f"  [{verdict}]")
    if not r["has_geometry"]:
        print("  " + style.bad("nothing to print: no extrusion moves were understood "
                               "(is this slicer G-code?)"))
    print(f"  parsed        {p['layers']} layers, {p['extruding_toolpaths']} extrusions, "
          f"{p['travel_toolpaths']} travels, {p['arcs_flattened']} arcs flattened")
    print(f"  roles         {', '.join(p['roles']) or '-'}")
    if p["unknown_roles"]:
        print(f"  unknown roles {', '.join(p['unknown_roles'])} "
              f"({p['fallback_role_moves']} moves printed as Perimeter)")
    if p["estimated_width_moves"]:
        print(f"  widths        {p['estimated_width_moves']} moves without a width comment "
              "(estimated from extrusion)")
    if p["skipped_codes"]:
        print(f"  skipped codes {' '.join(p['skipped_codes'])}")
    print(f"  print time    {format_seconds(t['total_s'])} "
          f"(printing {format_seconds(t['print_move_s'])}, "
          f"travel {format_seconds(t['travel_move_s'])})")
    if t["slowest_layer"]:
        s, f = t["slowest_layer"], t["fastest_layer"]
        print(f"  layers        slowest #{s['index']} at z {s['z_um'] / 1000:.3f} mm "
              f"({format_seconds(s['seconds'])}), fastest #{f['index']} at z "
              f"{f['z_um'] / 1000:.3f} mm ({format_seconds(f['seconds'])})")
    reasons = []
    if pr["out_of_bounds_points"]:
        reasons.append(f"{pr['out_of_bounds_points']} points outside the printable volume")
    if pr["layers_below_min_time"]:
        reasons.append(f"{pr['layers_below_min_time']} layers faster than "
                       f"{pr['min_layer_time_s']} s")
    if pr["travel_collisions"]:
        reasons.append(f"travels cross {pr['travel_collisions']} deposited cells")
    printable = yes if pr["printable"] else no
    print(f"  printable     {printable}" + (f" ({'; '.join(reasons)})" if reasons else ""))
    d = r["deposit"]
    print(f"  deposit       {d['total_cells']} cells at {d['resolution_um']} um, "
          f"{d['over_deposited_cells']} over-deposited (max x{d['max_multiplicity']}), "
          f"volume {r['volume']['total_volume_mm3']:.1f} mm3")
    print(f"  verified      travel-order pass keeps material "
          f"{yes if v['pass_preserves_denotation'] and v['pass_preserves_deposit'] else no}, "
          f"translation-invariant {yes if v['translation_invariant'] else no}, "
          f"emit-and-parse keeps material "
          f"{yes if v['roundtrip_occupancy_preserved'] and v['roundtrip_deposit_preserved'] else no}")
    print(f"  travel order  {tr['travel_before_mm']:.1f} mm of travel -> "
          f"{tr['travel_after_mm']:.1f} mm after reordering "
          f"(saves {tr['saved_mm']:.1f} mm)")


def command_check(args) -> int:
    profile_json = None
    if args.profile:
        profile_json = read_text(args.profile)
    inputs = []
    if not args.files:
        inputs.append((f"sample print ({SAMPLE_NAME})", sample_text()))
    problems = []
    for path in args.files:
        try:
            inputs.append((path, read_text(path)))
        except UsageError as error:
            problems.append(str(error))
    progress = Progress(len(inputs), sum(len(text) for _, text in inputs))
    style = Style(sys.stdout)
    results = []
    try:
        for name, text in inputs:
            results.append(check_text(name, text, profile_json, args.resolution_um, progress))
            progress.file_done()
    except ValueError as error:  # a profile that does not read
        progress.close()
        raise UsageError(str(error)) from None
    progress.close()
    if args.json:
        print(json.dumps([checked.report for checked in results], indent=2))
    else:
        for k, checked in enumerate(results):
            if k:
                print()
            print_check(checked, style)
    for problem in problems:
        print(f"tolm: {problem}", file=sys.stderr)
    if problems:
        return 2
    return 0 if all(checked.ok for checked in results) else 1


# ------------------------------------------------------------------------------------- diff


def load_program(path: str) -> str:
    """Low-level program JSON from a JSON file as is, or from G-code by parsing it."""
    text = read_text(path)
    if text.lstrip()[:1] in ("{", "["):
        return text
    return _tolm.parse_gcode(text)[0]


def command_diff(args) -> int:
    a = load_program(args.a)
    b = load_program(args.b)
    try:
        iou = json.loads(_tolm.diff_programs(a, b, args.resolution_um))
        graded = json.loads(_tolm.graded_diff(a, b, args.resolution_um))
    except ValueError as error:
        raise UsageError(str(error)) from None
    worst = sorted(
        zip(iou["layers"], graded["per_layer"]),
        key=lambda rows: (rows[0]["only_in_a"] + rows[0]["only_in_b"], rows[1]["max_um"]),
        reverse=True,
    )[: args.worst]
    worst = [{**row_iou, **{k: v for k, v in row_graded.items() if k != "z_um"}}
             for row_iou, row_graded in worst if row_iou["only_in_a"] + row_iou["only_in_b"]]
    if args.json:
        print(json.dumps({"iou": iou, "graded": graded, "worst_layers": worst}, indent=2))
        return 0
    style = Style(sys.stdout)
    iou_text = "n/a (both empty)" if iou["iou"] is None else f"{iou['iou']:.4f}"
    same = style.good("identical material") if iou["identical"] else style.bad("material differs")
    print(style.head(f"{args.a}  vs  {args.b}") + f"  [{same}]")
    print(f"  IoU          {iou_text} at {args.resolution_um} um "
          f"(shared {iou['total_shared']}, only in A {iou['total_only_in_a']}, "
          f"only in B {iou['total_only_in_b']} cells)")
    print(f"  distance     mean {graded['mean_um']:.1f} um, p95 {graded['p95_um']:.1f} um, "
          f"max {graded['max_um']:.1f} um over {graded['differing_cells']} differing cells"
          + (f" ({graded['unmatched_cells']} unmatched)" if graded["unmatched_cells"] else ""))
    if worst:
        print("  worst layers")
        print(f"    {'z (mm)':>8}  {'only A':>8}  {'only B':>8}  {'shared':>8}  {'max (um)':>9}")
        for row in worst:
            print(f"    {row['z_um'] / 1000:>8.3f}  {row['only_in_a']:>8}  {row['only_in_b']:>8}  "
                  f"{row['shared']:>8}  {row['max_um']:>9.1f}")
    return 0


# ----------------------------------------------------------------------------------- render

ROLE_COLOURS = {
    "Perimeter": "#d62728",
    "Infill": "#1f77b4",
    "Skin": "#2ca02c",
    "Support": "#9467bd",
}


def command_render(args) -> int:
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        raise UsageError(
            "render needs matplotlib: install the plot extra with pip install 'tolm[plot]'"
        ) from None
    program_json = load_program(args.file)
    program = json.loads(program_json)
    count = len(program["layers"])
    if not 0 <= args.layer < count:
        raise UsageError(f"{args.file}: layer {args.layer} out of range (it has {count} layers)")
    rows, cols, min_i, min_j, raster = _tolm.occupancy_grid(program_json, args.layer,
                                                            args.resolution_um)
    res_mm = max(args.resolution_um, 1) / 1000.0
    width_px, height_px = args.size
    dpi = 100
    figure = plt.figure(figsize=(width_px / dpi, height_px / dpi), dpi=dpi)
    axes = figure.add_axes((0.1, 0.09, 0.86, 0.84))
    if rows and cols:
        cells = [[raster[r * cols + c] for c in range(cols)] for r in range(rows)]
        axes.imshow(
            cells, origin="lower", cmap="Greys", alpha=0.35, interpolation="nearest",
            extent=(min_i * res_mm, (min_i + cols) * res_mm, min_j * res_mm,
                    (min_j + rows) * res_mm),
        )
    layer = program["layers"][args.layer]
    seen = set()
    for toolpath in layer["toolpaths"]:
        points = toolpath["path"]["points"]
        if not points:
            continue
        xs = [p["x"] / 1000.0 for p in points]
        ys = [p["y"] / 1000.0 for p in points]
        if toolpath["kind"] == "Travel":
            label = "Travel" if "Travel" not in seen else None
            axes.plot(xs, ys, linestyle="--", linewidth=0.6, color="#7f7f7f", label=label)
            seen.add("Travel")
        else:
            role = toolpath["kind"]["Extrude"]
            label = role if role not in seen else None
            axes.plot(xs, ys, linewidth=0.9, color=ROLE_COLOURS.get(role, "black"), label=label)
            seen.add(role)
    axes.set_aspect("equal", adjustable="datalim")
    axes.set_xlabel("x (mm)")
    axes.set_ylabel("y (mm)")
    axes.set_title(f"{os.path.basename(args.file)}: layer {args.layer} "
                   f"(z {layer['z_um'] / 1000:.3f} mm)")
    if seen:
        axes.legend(loc="upper right", fontsize="small")
    figure.savefig(args.output, dpi=dpi)
    plt.close(figure)
    print(f"wrote {args.output} ({width_px}x{height_px})")
    return 0


# ------------------------------------------------------------------------------------- main


def size_argument(text: str) -> tuple[int, int]:
    try:
        width, height = (int(part) for part in text.lower().split("x"))
    except ValueError:
        raise argparse.ArgumentTypeError("expected WIDTHxHEIGHT in pixels, e.g. 800x800") from None
    if width < 16 or height < 16:
        raise argparse.ArgumentTypeError("the picture must be at least 16x16 pixels")
    return width, height


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="tolm",
        description="Check, compare and draw 3D-printer move plans by the material they "
        "deposit. `tolm FILE ...` is short for `tolm check FILE ...`; with no arguments it checks "
        "a small sample print bundled with tolm.",
    )
    parser.add_argument("--version", action="version", version=f"tolm {_tolm.version()}")
    commands = parser.add_subparsers(dest="command")

    check = commands.add_parser(
        "check", help="parse G-code files and report time, printability and verification",
        description="For each G-code file: what the parser understood, the kinematic print "
        "time, the printability verdict, deposit and volume statistics, verification flags and "
        "the travel the travel-order pass would save. Exit status 0 when every file is "
        "printable and verified, 1 otherwise, 2 on usage errors.",
    )
    check.add_argument("files", nargs="*", metavar="FILE",
                       help="G-code files (default: the bundled sample print)")
    check.add_argument("--profile", metavar="FILE.json",
                       help="machine profile JSON (default: the built-in profile)")
    check.add_argument("--resolution-um", type=int, default=200, help="cell size (default 200)")
    check.add_argument("--json", action="store_true", help="machine-readable output")
    check.set_defaults(run=command_check)

    diff = commands.add_parser(
        "diff", help="compare the material of two plans (G-code or low-level program JSON)",
    )
    diff.add_argument("a", metavar="A")
    diff.add_argument("b", metavar="B")
    diff.add_argument("--resolution-um", type=int, default=200, help="cell size (default 200)")
    diff.add_argument("--worst", type=int, default=5, help="worst layers to list (default 5)")
    diff.add_argument("--json", action="store_true", help="machine-readable output")
    diff.set_defaults(run=command_diff)

    render = commands.add_parser("render", help="draw one layer as a PNG (needs matplotlib)")
    render.add_argument("file", metavar="FILE")
    render.add_argument("--layer", type=int, required=True, help="layer index, from 0")
    render.add_argument("-o", "--output", required=True, metavar="OUT.png")
    render.add_argument("--size", type=size_argument, default=(800, 800),
                        help="picture size in pixels (default 800x800)")
    render.add_argument("--resolution-um", type=int, default=200, help="cell size (default 200)")
    render.set_defaults(run=command_render)
    return parser


COMMANDS = {"check", "diff", "render"}


def main(argv: list[str] | None = None) -> int:
    parser = build_parser()
    argv = sys.argv[1:] if argv is None else list(argv)
    # `tolm FILE ...` and plain `tolm` mean `tolm check ...`.
    if not argv or (argv[0] not in COMMANDS and argv[0] not in ("-h", "--help", "--version")):
        argv = ["check", *argv]
    args = parser.parse_args(argv)
    try:
        return args.run(args)
    except UsageError as error:
        print(f"tolm: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        return 130
    except BrokenPipeError:
        return 0


if __name__ == "__main__":
    raise SystemExit(main())
