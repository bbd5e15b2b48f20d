"""Soundness checks: `preserves_within`, `check_self_lowering_sound`, `demo_self_lowering_sound`."""

import json
import math

import pytest

import _tolm
from lo_plans import extrude, layer, program, square_outline

LO_PREFIX = (
    "expected a LOW-LEVEL program JSON (layers of toolpaths, e.g. from lower_to_json() or parse_gcode()); "
)
HI_PREFIX = (
    "expected a HIGH-LEVEL program JSON (layers of regions with fills, e.g. from demo_square_json()); "
)

EMPTY = program()
SQUARE = program(square_outline(0, 0, 4000))


def dot_layer(z_um, *points):
    return layer(z_um, *(extrude([p], 0) for p in points))


# a: one cell (0, 0) at 200 µm; b adds its side neighbour (1, 0).
ONE = program(dot_layer(200, (100, 100)))
TWO = program(dot_layer(200, (100, 100), (300, 100)))


@pytest.mark.parametrize("epsilon", [0.0, 0, 1.5, 1e300, math.inf])
def test_programs_without_layers_preserve_for_any_nonnegative_epsilon(epsilon):
    assert _tolm.preserves_within(EMPTY, EMPTY, epsilon) is True


@pytest.mark.parametrize(
    "epsilon, expected",
    [
        pytest.param(200.0, True, id="equal-to-resolution"),
        pytest.param(math.nextafter(200.0, 0.0), False, id="just-below"),
        pytest.param(199, False, id="int-below"),
        pytest.param(201, True, id="int-above"),
    ],
)
def test_one_extra_neighbour_cell_is_one_resolution_away(epsilon, expected):
    assert _tolm.preserves_within(ONE, TWO, epsilon) is expected
    assert _tolm.preserves_within(TWO, ONE, epsilon, resolution_um=200) is expected


def test_distance_scales_with_resolution():
    a = program(dot_layer(0, (0, 0)))
    b = program(dot_layer(0, (0, 0), (3, 4)))
    assert _tolm.preserves_within(a, b, 5.0, 1)
    assert not _tolm.preserves_within(a, b, 4.999, 1)


def test_extra_layer_at_a_new_z_is_unmatched_not_measured():
    extra = program(square_outline(0, 0, 4000), square_outline(90000, 90000, 1000, z_um=400))
    assert _tolm.preserves_within(SQUARE, extra, 0.0)
    assert _tolm.preserves_within(extra, SQUARE, 0.0)


def test_far_miss_at_the_same_z_fails():
    moved = program(square_outline(2000, 0, 4000))
    assert not _tolm.preserves_within(SQUARE, moved, 1000.0)
    assert _tolm.preserves_within(SQUARE, moved, 2000.0)


@pytest.mark.parametrize("epsilon", [-0.5, -math.inf, math.nan])
def test_negative_or_nan_epsilon_is_false_even_for_identical_plans(epsilon):
    assert _tolm.preserves_within(SQUARE, SQUARE, epsilon) is False


def test_zero_epsilon_for_identical_plans():
    assert _tolm.preserves_within(SQUARE, SQUARE, 0.0) is True


@pytest.mark.parametrize(
    "a, b, fragment",
    [
        pytest.param("{}", "[", "layers", id="a-first"),
        pytest.param(SQUARE, '{"layers": [], "layers": []}', "layers", id="b-duplicate"),
    ],
)
def test_read_errors_use_the_low_level_prefix(a, b, fragment):
    with pytest.raises(ValueError) as info:
        _tolm.preserves_within(a, b, 1.0)
    message = str(info.value)
    assert message.startswith(LO_PREFIX) and fragment in message and " at line " in message


@pytest.mark.parametrize(
    "args, kwargs, error, fragment",
    [
        pytest.param((SQUARE, SQUARE), {}, TypeError, "epsilon_um", id="epsilon-required"),
        pytest.param((SQUARE, SQUARE, "1"), {}, TypeError, "epsilon_um", id="epsilon-str"),
        pytest.param((SQUARE, SQUARE, 1.0), {"resolution_um": 2.5}, TypeError, "resolution_um",
                     id="resolution-float"),
        pytest.param(("{", "{", None), {}, TypeError, "epsilon_um", id="conversion-before-json"),
    ],
)
def test_argument_errors(args, kwargs, error, fragment):
    with pytest.raises(error, match=fragment):
        _tolm.preserves_within(*args, **kwargs)


# ---------------------------------------------------------------------------------------------
# Lowering soundness


def hi_program(*layers):
    return json.dumps({"layers": list(layers)})


def hi_layer(z_um, *regions):
    return {"z_um": z_um, "regions": list(regions)}


def region(kind, fills, outline=()):
    return {
        "kind": kind,
        "boundary": {"outer": {"points": [{"x": x, "y": y} for x, y in outline]}, "holes": []},
        "fills": [{"path": {"points": [{"x": x, "y": y} for x, y in pts]}, "width_um": w} for pts, w in fills],
    }


@pytest.mark.parametrize(
    "hi",
    [
        pytest.param(hi_program(), id="no-layers"),
        pytest.param(hi_program(hi_layer(200)), id="layer-without-regions"),
        pytest.param(hi_program(hi_layer(200, region("Infill", [], outline=[(0, 0), (9000, 0), (0, 9000)]))),
                     id="outline-only"),
        pytest.param(hi_program(hi_layer(200, region("Skin", [([], 400), ([(0, 0), (3000, 0)], 400)]))),
                     id="empty-fill-dropped"),
        pytest.param(hi_program(hi_layer(200, region("Perimeter", [([(100, 100)], 400)]),
                                         region("Support", [([(0, 0), (0, 2000)], -50)])),
                                hi_layer(200, region("Infill", [([(5000, 5000), (0, 0)], 700)]))),
                     id="point-negative-width-repeated-z"),
        pytest.param(hi_program(hi_layer(600, region("Infill", [([(0, 0), (1000, 0)], 400), ([(2000, 0), (3000, 0)], 400)])),
                                hi_layer(-200, region("Perimeter", [([(0, 0), (1000, 1000), (0, 0)], 300)]))),
                     id="travels-between-fills-descending-z"),
    ],
)
@pytest.mark.parametrize("res", [200, 1, 0])
def test_lowering_preserves_the_fills(hi, res):
    assert _tolm.check_self_lowering_sound(hi, res) is True


def test_demo_square_json_lowers_soundly():
    assert _tolm.check_self_lowering_sound(_tolm.demo_square_json()) is True


@pytest.mark.parametrize(
    "kwargs",
    [{}, {"side_mm": 10}, {"side_mm": 0.0}, {"side_mm": -5.0, "z_mm": -0.2}, {"side_mm": math.nan},
     {"side_mm": 300.0, "z_mm": 0.3, "resolution_um": 500}, {"side_mm": 0.5, "resolution_um": -1}],
)
def test_demo_square_lowers_soundly(kwargs):
    assert _tolm.demo_self_lowering_sound(**kwargs) is True


@pytest.mark.parametrize(
    "text",
    [pytest.param("{", id="truncated"), pytest.param(SQUARE, id="low-level-given")],
)
def test_self_lowering_read_errors_use_the_high_level_prefix(text):
    with pytest.raises(ValueError) as info:
        _tolm.check_self_lowering_sound(text)
    message = str(info.value)
    assert message.startswith(HI_PREFIX) and " at line " in message


@pytest.mark.parametrize(
    "call, fragment",
    [
        pytest.param(lambda: _tolm.demo_self_lowering_sound(side_mm="20"), "side_mm", id="side-str"),
        pytest.param(lambda: _tolm.demo_self_lowering_sound(20.0, 0.2, 2.0), "resolution_um", id="res-float"),
        pytest.param(lambda: _tolm.demo_self_lowering_sound(1.0, 2.0, 3, 4), "demo_self_lowering_sound",
                     id="too-many"),
        pytest.param(lambda: _tolm.check_self_lowering_sound(None), "hi_program_json", id="hi-none"),
    ],
)
def test_self_lowering_argument_errors(call, fragment):
    with pytest.raises(TypeError, match=fragment):
        call()


# ---------------------------------------------------------------------------------------------
# Translation invariance, through the native driver (verify_gcode uses it with a shift of (3, 5))

from native_driver import core_driver  # noqa: E402,F401  (fixture)

BIG = 2**63 - 1


@pytest.mark.parametrize(
    "plan, dx, dy, res, expected",
    [
        pytest.param(program(), 3, 5, 200, True, id="no-layers"),
        pytest.param(SQUARE, 0, 0, 200, True, id="no-shift"),
        pytest.param(SQUARE, 3, 5, 200, True, id="square"),
        pytest.param(SQUARE, -7, 2, 150, True, id="negative-shift-odd-resolution"),
        pytest.param(program(layer(200, extrude([(0, 0), (7, 3)], 2)), layer(200)), 3, 5, 0, True,
                     id="resolution-zero-shifts-microns"),
        pytest.param(program(layer(0, extrude([(BIG - 100, 0), (BIG - 50, 0)], 0))), 3, 5, 200, False,
                     id="shift-saturates-at-the-limit"),
        pytest.param(program(layer(0, extrude([(0, 0), (100, 0)], 0))), BIG, 0, 200, False,
                     id="shift-itself-saturates"),
    ],
)
def test_translation_invariant(core_driver, plan, dx, dy, res, expected):
    assert core_driver("translation", dx, dy, res, program_json=plan) is expected
