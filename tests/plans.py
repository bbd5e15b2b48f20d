"""Program JSON text for the action, fingerprint and handle tests, built on `programs`."""

import json

import programs
from programs import layer  # noqa: F401  (re-exported for the tests)


def extrude(points, width=400, role="Perimeter", flow=None):
    return programs.toolpath(points, width_um=width, role=role, flow_e=flow)


def travel(points, width=0):
    return programs.toolpath(points, width_um=width, travel=True)


def program(*layers):
    """The program as JSON text."""
    return json.dumps(programs.program(*layers))


def points_of(program_json, layer_index, toolpath_index):
    """The points of one toolpath of a program JSON, as (x, y) tuples."""
    tp = json.loads(program_json)["layers"][layer_index]["toolpaths"][toolpath_index]
    return [(p["x"], p["y"]) for p in tp["path"]["points"]]


SQUARE = [(0, 0), (10, 0), (10, 10), (0, 10), (0, 0)]
