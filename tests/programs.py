"""Small builders for program JSON used across the tests."""

import json


def point(x, y):
    return {"x": x, "y": y}


def toolpath(points, width_um=400, role="Perimeter", travel=False, flow_e=None):
    record = {
        "kind": "Travel" if travel else {"Extrude": role},
        "path": {"points": [point(x, y) for x, y in points]},
        "width_um": width_um,
    }
    if flow_e is not None:
        record["flow_e"] = flow_e
    return record


def layer(z_um, *toolpaths):
    return {"z_um": z_um, "toolpaths": list(toolpaths)}


def program(*layers):
    return {"layers": list(layers)}


def dumps(value):
    return json.dumps(value)
