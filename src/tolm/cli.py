"""The `tolm` command line."""

from __future__ import annotations

import argparse
import json
import sys

import _tolm

# A small two-layer plan: a square perimeter with a diagonal infill stroke on each layer.
SAMPLE_PROGRAM = {
    "layers": [
        {
            "z_um": z,
            "toolpaths": [
                {
                    "kind": {"Extrude": "Perimeter"},
                    "path": {
                        "points": [
                            {"x": 0, "y": 0},
                            {"x": 20000, "y": 0},
                            {"x": 20000, "y": 20000},
                            {"x": 0, "y": 20000},
                            {"x": 0, "y": 0},
                        ]
                    },
                    "width_um": 400,
                },
                {
                    "kind": {"Extrude": "Infill"},
                    "path": {"points": [{"x": 1000, "y": 1000}, {"x": 19000, "y": 19000}]},
                    "width_um": 450,
                },
            ],
        }
        for z in (200, 400)
    ]
}


def occupancy_summary(program_json: str, resolution_um: int) -> list[dict]:
    """Per-layer occupied-cell counts and extents."""
    occupancy = json.loads(_tolm.occupancy(program_json, resolution_um))
    rows = []
    for index, layer in enumerate(occupancy["layers"]):
        cells = layer["cells"]
        row = {"layer": index, "z_um": layer["z_um"], "cells": len(cells)}
        if cells:
            res = layer["resolution_um"]
            xs = [c[0] for c in cells]
            ys = [c[1] for c in cells]
            row["area_mm2"] = len(cells) * (res / 1000.0) ** 2
            row["extent_mm"] = [
                (max(xs) - min(xs) + 1) * res / 1000.0,
                (max(ys) - min(ys) + 1) * res / 1000.0,
            ]
        rows.append(row)
    return rows


def print_summary(title: str, rows: list[dict], resolution_um: int) -> None:
    print(f"{title}: occupancy at {resolution_um} um cells")
    print(f"  {'layer':>5}  {'z (mm)':>8}  {'cells':>8}  {'area (mm2)':>11}  extent (mm)")
    for row in rows:
        extent = row.get("extent_mm")
        extent_text = f"{extent[0]:.1f} x {extent[1]:.1f}" if extent else "-"
        print(
            f"  {row['layer']:>5}  {row['z_um'] / 1000:>8.3f}  {row['cells']:>8}  "
            f"{row.get('area_mm2', 0.0):>11.2f}  {extent_text}"
        )
    total = sum(row["cells"] for row in rows)
    print(f"  {len(rows)} layers, {total} occupied cells")


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(
        prog="tolm",
        description="Denote a move plan by the material it deposits. With no file, runs on a "
        "small built-in sample plan.",
    )
    parser.add_argument("program", nargs="?", help="a low-level program JSON file")
    parser.add_argument("--resolution-um", type=int, default=200, help="cell size (default 200)")
    parser.add_argument("--json", action="store_true", help="print the summary as JSON")
    args = parser.parse_args(argv)

    if args.program is None:
        title = "built-in sample"
        program_json = json.dumps(SAMPLE_PROGRAM)
    else:
        title = args.program
        try:
            with open(args.program, encoding="utf-8") as handle:
                program_json = handle.read()
        except OSError as error:
            print(f"tolm: cannot read {args.program}: {error.strerror}", file=sys.stderr)
            return 2
    try:
        rows = occupancy_summary(program_json, args.resolution_um)
    except ValueError as error:
        print(f"tolm: {title}: {error}", file=sys.stderr)
        return 1
    if args.json:
        print(json.dumps({"input": title, "resolution_um": args.resolution_um, "layers": rows}))
    else:
        print_summary(title, rows, args.resolution_um)
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
