"""Small builders for low-level program JSON used by the action, fingerprint and handle tests."""

import json


def pts(points):
    return [{"x": x, "y": y} for x, y in points]


def extrude(points, width=400, role="Perimeter", flow=None):
    tp = {"kind": {"Extrude": role}, "path": {"points": pts(points)}, "width_um": width}
    if flow is not None:
        tp["flow_e"] = flow
    return tp


def travel(points, width=0):
    return {"kind": "Travel", "path": {"points": pts(points)}, "width_um": width}


def layer(z_um, *toolpaths):
    return {"z_um": z_um, "toolpaths": list(toolpaths)}


def program(*layers):
    return json.dumps({"layers": list(layers)})


def points_of(program_json, layer_index, toolpath_index):
    """The points of one toolpath of a program JSON, as (x, y) tuples."""
    tp = json.loads(program_json)["layers"][layer_index]["toolpaths"][toolpath_index]
    return [(p["x"], p["y"]) for p in tp["path"]["points"]]


SQUARE = [(0, 0), (10, 0), (10, 10), (0, 10), (0, 0)]
