"""Small builders for low-level program JSON used by the comparison and verification tests."""

import json


def extrude(points, width=400, role="Perimeter", flow=None):
    toolpath = {
        "kind": {"Extrude": role},
        "path": {"points": [{"x": x, "y": y} for x, y in points]},
        "width_um": width,
    }
    if flow is not None:
        toolpath["flow_e"] = flow
    return toolpath


def travel(points, width=0):
    return {"kind": "Travel", "path": {"points": [{"x": x, "y": y} for x, y in points]}, "width_um": width}


def layer(z_um, *toolpaths):
    return {"z_um": z_um, "toolpaths": list(toolpaths)}


def program(*layers):
    """A low-level program as JSON text."""
    return json.dumps({"layers": list(layers)})


def square_outline(x0, y0, side, z_um=200, width=400):
    """One layer holding a closed square perimeter with its corner at (x0, y0)."""
    pts = [(x0, y0), (x0 + side, y0), (x0 + side, y0 + side), (x0, y0 + side), (x0, y0)]
    return layer(z_um, extrude(pts, width))


def cells_of(program_json, resolution_um=200):
    """The occupied cells per layer, through the module's occupancy function."""
    import _tolm

    return [
        {tuple(c) for c in entry["cells"]}
        for entry in json.loads(_tolm.occupancy(program_json, resolution_um))["layers"]
    ]
