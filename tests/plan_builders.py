"""Small builders for low-level program JSON used by the analysis tests."""

import json

DEMO_SQUARE = [(0, 0), (20000, 0), (20000, 20000), (0, 20000), (0, 0)]


def extrude(points, role="Perimeter", width=400, flow=None):
    toolpath = {
        "kind": {"Extrude": role},
        "path": {"points": [{"x": x, "y": y} for x, y in points]},
        "width_um": width,
    }
    if flow is not None:
        toolpath["flow_e"] = flow
    return toolpath


def travel(points, flow=None):
    toolpath = {
        "kind": "Travel",
        "path": {"points": [{"x": x, "y": y} for x, y in points]},
        "width_um": 0,
    }
    if flow is not None:
        toolpath["flow_e"] = flow
    return toolpath


def layer(z_um, *toolpaths):
    return {"z_um": z_um, "toolpaths": list(toolpaths)}


def program(*layers):
    return json.dumps({"layers": list(layers)})


def demo_square():
    """The lowered demo square: one layer at 200 µm, one closed 20 mm perimeter."""
    return program(layer(200, extrude(DEMO_SQUARE)))
