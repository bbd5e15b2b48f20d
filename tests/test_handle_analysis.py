"""The analysis methods of the Program handle agree with the module functions."""

import json
import math

import pytest

import _tolm
from plan_builders import DEMO_SQUARE, demo_square, extrude, layer, program, travel
from test_print_time import DEFAULT_PROFILE_TEXT, PROFILE_PREFIX, profile

# The methods live beside the class and are appended to its method table by the class itself.
pytestmark = pytest.mark.skipif(
    not hasattr(_tolm, "Program") or not hasattr(_tolm.Program, "stats"),
    reason="the Program class does not include the analysis methods in this build",
)

PLAN = program(
    layer(200, extrude(DEMO_SQUARE, flow=2.5), travel([(0, 0), (10000, 30000)], flow=9.0)),
    layer(200, extrude([(10000, 30000), (12000, 30000)], role="Skin")),
    layer(400, travel([(10000, 30000), (10000, -2000)]), extrude([(5000, 5000)], role="Infill", flow=0.5)),
)

METHOD_DOCS = {
    "stats": "Size/efficiency stats (JSON).",
    "flow_stats": "Commanded-flow (E) stats (JSON).",
    "e_conserved": "Whether commanded E is conserved (within `tolerance_mm`) relative to a reference.",
    "print_time_s": "Kinematic print time (seconds) under a machine profile (JSON, or `None` for the default).",
    "print_time": "Full kinematic print-time report (JSON).",
    "printability": "Printability verdict (JSON) against a machine profile.",
    "feature_matrix": "The per-toolpath feature matrix: `(rows, cols, flat_row_major)`. Wrap as\n"
    "`np.array(flat).reshape(rows, cols)`; column names are `feature_columns()`.",
    "travel_graph": "The travel graph (JSON): toolpath centroids as nodes, within-layer hops as weighted edges.",
}


@pytest.fixture
def handle():
    return _tolm.Program.from_json(PLAN)


@pytest.mark.parametrize("name, doc", sorted(METHOD_DOCS.items()))
def test_method_docs(name, doc):
    method = getattr(_tolm.Program, name)
    assert method.__doc__ == doc


@pytest.mark.parametrize(
    "method, function",
    [
        ("stats", "program_stats"),
        ("flow_stats", "flow_stats"),
        ("print_time", "print_time"),
        ("printability", "is_printable"),
        ("travel_graph", "travel_graph"),
    ],
)
def test_methods_equal_the_module_functions(handle, method, function):
    assert getattr(handle, method)() == getattr(_tolm, function)(handle.to_json())


def test_feature_matrix_equals_the_module_function(handle):
    rows, cols, flat = handle.feature_matrix()
    m_rows, m_cols, m_flat = _tolm.feature_matrix(handle.to_json())
    assert (rows, cols) == (m_rows, m_cols) == (5, 16)
    assert [v if not math.isnan(v) else "nan" for v in flat] == [
        v if not math.isnan(v) else "nan" for v in m_flat
    ]


@pytest.mark.parametrize("profile_json", [None, DEFAULT_PROFILE_TEXT, profile(acceleration_mm_s2=0.0)])
def test_print_time_s_is_the_report_total(handle, profile_json):
    report = json.loads(handle.print_time(profile_json))
    assert handle.print_time_s(profile_json) == report["total_s"]
    assert handle.print_time(profile_json) == _tolm.print_time(PLAN, profile_json)


def test_print_time_defaults(handle):
    assert handle.print_time_s() == handle.print_time_s(None) == handle.print_time_s(profile_json=None)
    assert _tolm.Program.from_json(demo_square()).print_time_s() == 1.4455445579093018


@pytest.mark.parametrize("method", ["print_time_s", "print_time", "printability"])
@pytest.mark.parametrize("bad", ["{}", "[]", "{"])
def test_bad_profiles(handle, method, bad):
    before = handle.to_json()
    with pytest.raises(ValueError) as error:
        getattr(handle, method)(bad)
    assert str(error.value).startswith(PROFILE_PREFIX)
    assert handle.to_json() == before


def test_printability_resolution_is_passed_through(handle):
    resolution = handle.resolution_um
    verdict = json.loads(handle.printability(resolution_um=0))
    assert verdict["resolution_um"] == 1
    assert handle.resolution_um == resolution
    assert handle.printability(None, 300) == _tolm.is_printable(PLAN, None, 300)
    assert handle.printability(profile(min_layer_time_s=100.0)) == _tolm.is_printable(
        PLAN, profile(min_layer_time_s=100.0))


def test_e_conserved(handle):
    assert handle.e_conserved(handle) is True
    other = _tolm.Program.from_json(program(layer(200, extrude(DEMO_SQUARE, flow=2.5)),
                                            layer(400, extrude([(0, 0)], flow=0.5))))
    assert handle.e_conserved(other, 0.0) is True
    shifted = _tolm.Program.from_json(program(layer(200, extrude(DEMO_SQUARE, flow=3.0)),
                                              layer(400, extrude([(0, 0)], flow=0.0))))
    assert handle.e_conserved(shifted) is False
    assert handle.e_conserved(shifted, tolerance_mm=0.5) is True
    assert handle.e_conserved(shifted, 0.5) == _tolm.e_conserved(handle.to_json(), shifted.to_json(), 0.5)


@pytest.mark.parametrize("reference", [None, PLAN, 3])
def test_e_conserved_needs_a_handle(handle, reference):
    with pytest.raises(TypeError, match="reference"):
        handle.e_conserved(reference)


def test_analysis_leaves_the_handle_unchanged(handle):
    before = (handle.to_json(), handle.fingerprint())
    handle.stats(), handle.flow_stats(), handle.print_time(), handle.printability()
    handle.feature_matrix(), handle.travel_graph(), handle.e_conserved(handle)
    assert (handle.to_json(), handle.fingerprint()) == before
