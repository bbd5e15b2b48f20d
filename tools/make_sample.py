"""Writes the sample print bundled with the package (src/tolm/data/sample.gcode).

A 20 mm box of ten 0.2 mm layers on the middle of a 200 mm bed: two perimeters and a
serpentine fill, labelled as skin in the two bottom and two top layers. Every layer is one chain of paths that starts
where the previous layer ended (odd layers run the chain backwards), so the plan needs no
travel moves at all. The G-code is written by tolm's own emitter.

    python tools/make_sample.py
"""

import json
import pathlib

import _tolm

OUT = pathlib.Path(__file__).resolve().parents[1] / "src" / "tolm" / "data" / "sample.gcode"
LAYERS = 10
SOLID = {0, 1, LAYERS - 2, LAYERS - 1}
WIDTH_UM = 450


def loop(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1), (x0, y0)]


def serpentine(x0, y0, x1, y1, spacing):
    points = []
    y = y0
    forward = True
    while y <= y1:
        points += [(x0, y), (x1, y)] if forward else [(x1, y), (x0, y)]
        forward = not forward
        y += spacing
    return points


def layer_chain():
    """The paths of one layer, each starting where the previous one ends: (role, points)."""
    outer = loop(90000, 90000, 110000, 110000)
    inner = loop(90450, 90450, 109550, 109550)
    fill = serpentine(90900, 90900, 109100, 109100, 900)
    return [
        ("Perimeter", outer),
        ("Perimeter", [outer[-1], inner[0]]),
        ("Perimeter", inner),
        ("Infill", [inner[-1], fill[0]]),
        ("Infill", fill),
    ]


def region(kind, points):
    return {
        "kind": kind,
        "boundary": {"outer": {"points": []}, "holes": []},
        "fills": [{"path": {"points": [{"x": x, "y": y} for x, y in points]},
                   "width_um": WIDTH_UM}],
    }


def main():
    layers = []
    chain = layer_chain()
    for index in range(LAYERS):
        paths = chain if index % 2 == 0 else [(role, pts[::-1]) for role, pts in chain[::-1]]
        regions = [
            region("Skin" if role == "Infill" and index in SOLID else role, points)
            for role, points in paths
        ]
        layers.append({"z_um": 200 * (index + 1), "regions": regions})
    gcode = _tolm.program_to_gcode(json.dumps({"layers": layers}))
    OUT.parent.mkdir(parents=True, exist_ok=True)
    OUT.write_text(gcode, encoding="utf-8")
    print(f"wrote {OUT} ({len(gcode)} bytes)")


if __name__ == "__main__":
    main()
