"""Kinematic print time and the machine profile."""

import json
import math
import re

import pytest

import _tolm
from plan_builders import DEMO_SQUARE, demo_square, extrude, layer, program, travel

PROFILE_PREFIX = "invalid MachineProfile JSON; "
LO_PREFIX = (
    "expected a LOW-LEVEL program JSON (layers of toolpaths, e.g. from lower_to_json() or "
    "parse_gcode()); "
)
POSITION = re.compile(r" at line \d+ column \d+$")

DEFAULT_PROFILE_TEXT = """{
  "max_print_speed_mm_s": 60.0,
  "max_travel_speed_mm_s": 150.0,
  "acceleration_mm_s2": 1500.0,
  "junction_deviation_mm": 0.05,
  "min_layer_time_s": 0.0,
  "bed_min_um": [
    0,
    0
  ],
  "bed_max_um": [
    200000,
    200000
  ],
  "max_z_um": 200000
}"""

DEFAULTS = json.loads(DEFAULT_PROFILE_TEXT)


def profile(**overrides):
    values = dict(DEFAULTS)
    values.update(overrides)
    return json.dumps(values)


def report(program_json, profile_json=None):
    return json.loads(_tolm.print_time(program_json, profile_json))


def one_extrusion(points):
    return program(layer(200, extrude(points)))


def segment_time(length, v_in, v_out, v=60.0, a=1500.0):
    """Closed-form time of one segment that reaches cruise speed (a trapezoid)."""
    accel = (v * v - v_in * v_in) / (2 * a)
    decel = (v * v - v_out * v_out) / (2 * a)
    assert length >= accel + decel
    return (v - v_in) / a + (length - accel - decel) / v + (v - v_out) / a


# --- the default profile ----------------------------------------------------------------------


def test_default_profile_text_is_exact():
    assert _tolm.default_machine_profile() == DEFAULT_PROFILE_TEXT


def test_default_profile_takes_no_arguments():
    with pytest.raises(TypeError):
        _tolm.default_machine_profile(1)


@pytest.mark.parametrize(
    "profile_json",
    [
        pytest.param(DEFAULT_PROFILE_TEXT, id="default-text"),
        pytest.param(
            json.dumps([60.0, 150.0, 1500.0, 0.05, 0.0, [0, 0], [200000, 200000], 200000]),
            id="array-form",
        ),
        pytest.param(
            json.dumps(dict(reversed(list(DEFAULTS.items())), comment="ignored")),
            id="reordered-with-unknown-member",
        ),
        pytest.param(profile(max_print_speed_mm_s=60, acceleration_mm_s2=1500), id="integers"),
    ],
)
def test_profile_forms_read_as_the_default(profile_json):
    assert _tolm.print_time(demo_square(), profile_json) == _tolm.print_time(demo_square())


def test_none_means_default():
    assert _tolm.print_time(demo_square(), None) == _tolm.print_time(demo_square())
    assert _tolm.print_time(demo_square(), profile_json=None) == _tolm.print_time(demo_square())


BAD_PROFILES = [
    pytest.param("{}", "max_print_speed_mm_s", id="empty-object"),
    pytest.param("[]", None, id="empty-array"),
    pytest.param("{", None, id="truncated"),
    pytest.param(
        json.dumps({k: v for k, v in DEFAULTS.items() if k != "max_z_um"}), "max_z_um",
        id="missing-member",
    ),
    pytest.param(
        DEFAULT_PROFILE_TEXT[:-1] + ',\n  "max_z_um": 1\n}', "max_z_um", id="duplicate-member"
    ),
    pytest.param(profile(bed_min_um=[0]), None, id="pair-too-short"),
    pytest.param(profile(bed_max_um=[1, 2, 3]), None, id="pair-too-long"),
    pytest.param(profile(bed_min_um={"x": 0, "y": 0}), None, id="pair-as-object"),
    pytest.param(profile(bed_max_um=[1.5, 2]), None, id="pair-fraction"),
    pytest.param(profile(max_z_um=1.5), None, id="z-fraction"),
    pytest.param(profile(max_z_um=2**63), None, id="z-out-of-range"),
    pytest.param(profile(max_print_speed_mm_s="60"), None, id="speed-as-string"),
    pytest.param(profile(acceleration_mm_s2=None), None, id="acceleration-null"),
    pytest.param(
        json.dumps([60.0, 150.0, 1500.0, 0.05, 0.0, [0, 0], [200000, 200000]]), None,
        id="array-of-seven",
    ),
    pytest.param(DEFAULT_PROFILE_TEXT + " x", None, id="trailing-characters"),
]


@pytest.mark.parametrize("profile_json, named", BAD_PROFILES)
def test_bad_profile_raises_before_the_program_is_read(profile_json, named):
    for program_json in (demo_square(), "not a program"):
        with pytest.raises(ValueError) as error:
            _tolm.print_time(program_json, profile_json)
        message = str(error.value)
        assert message.startswith(PROFILE_PREFIX)
        assert POSITION.search(message), message
        if named:
            assert named in message


def test_bad_program_after_a_good_profile_uses_the_program_prefix():
    with pytest.raises(ValueError) as error:
        _tolm.print_time("[]", DEFAULT_PROFILE_TEXT)
    assert str(error.value).startswith(LO_PREFIX)


@pytest.mark.parametrize("args", [(1,), ("{}", 5)], ids=["program-not-str", "profile-not-str"])
def test_argument_types(args):
    with pytest.raises(TypeError):
        _tolm.print_time(*args)


# --- worked cases -----------------------------------------------------------------------------


def test_demo_square_exact():
    r = report(demo_square())
    assert r["total_s"] == 1.4455445579093018
    assert r["print_move_s"] == r["total_s"]
    assert r["min_layer_s"] == r["total_s"]
    assert r["per_layer_s"] == [[200, r["total_s"]]]
    assert r["travel_move_s"] == 0.0


def test_report_text_layout():
    text = _tolm.print_time(demo_square())
    assert list(json.loads(text)) == [
        "total_s", "per_layer_s", "min_layer_s", "print_move_s", "travel_move_s"
    ]
    assert "\t" not in text and text.endswith("}")
    assert '\n  "per_layer_s": [\n    [\n      200,\n      1.4455445579093018\n    ]\n  ],' in text


def test_empty_program():
    r = report(program())
    assert r == {
        "total_s": 0.0,
        "per_layer_s": [],
        "min_layer_s": 0.0,
        "print_move_s": 0.0,
        "travel_move_s": 0.0,
    }
    assert "-0.0" not in _tolm.print_time(program())


@pytest.mark.parametrize(
    "points, expected",
    [
        pytest.param([(0, 0), (20000, 0)], 0.04 + 17.6 / 60 + 0.04, id="20mm-trapezoid"),
        pytest.param([(0, 0), (1000, 0)], 2 * math.sqrt(1500) / 1500, id="1mm-triangle"),
        pytest.param([(0, 0), (0, -1000)], 2 * math.sqrt(1500) / 1500, id="1mm-negative-y"),
        pytest.param([(0, 0), (10000, 0), (20000, 0)], 0.04 + 17.6 / 60 + 0.04, id="collinear"),
        pytest.param(
            [(0, 0), (20000, 0), (0, 0)], 2 * (0.04 + 17.6 / 60 + 0.04), id="full-reversal"
        ),
        pytest.param(
            [(0, 0), (10000, 0), (10000, 0), (20000, 0)],
            2 * (0.04 + 7.6 / 60 + 0.04),
            id="repeated-point-stops",
        ),
        pytest.param([(5, 5)], 0.0, id="one-point"),
        pytest.param([(5, 5), (5, 5), (5, 5)], 0.0, id="repeated-point-only"),
        pytest.param([], 0.0, id="no-points"),
    ],
)
def test_single_toolpath_times(points, expected):
    r = report(one_extrusion(points))
    assert r["total_s"] == pytest.approx(expected, rel=1e-12, abs=0.0)


def test_ninety_degree_corner_speed():
    corner = math.sqrt(1500 * 0.05 * math.sqrt(0.5) / (1 - math.sqrt(0.5)))
    assert corner == pytest.approx(13.456, abs=1e-3)
    expected = segment_time(20.0, 0.0, corner) + segment_time(20.0, corner, 0.0)
    r = report(one_extrusion([(0, 0), (20000, 0), (20000, 20000)]))
    assert r["total_s"] == pytest.approx(expected, rel=1e-12)


def test_corner_limited_by_a_short_neighbouring_segment():
    # The 10 µm exit segment can only shed sqrt(2 * 1500 * 0.01) mm/s, below the corner's 13.46.
    r = report(one_extrusion([(0, 0), (20000, 0), (20000, 10)]))
    exit_limit = math.sqrt(2 * 1500 * 0.01)
    expected = segment_time(20.0, 0.0, exit_limit) + exit_limit / 1500
    assert r["total_s"] == pytest.approx(expected, rel=1e-9)


def test_negative_junction_deviation_acts_as_zero():
    r = report(one_extrusion([(0, 0), (20000, 0), (20000, 20000)]), profile(junction_deviation_mm=-1.0))
    assert r["total_s"] == pytest.approx(2 * segment_time(20.0, 0.0, 0.0), rel=1e-12)


@pytest.mark.parametrize("acceleration", [0.0, -100.0])
def test_without_acceleration_speed_is_constant(acceleration):
    r = report(demo_square(), profile(acceleration_mm_s2=acceleration))
    assert r["total_s"] == pytest.approx(80 / 60, rel=1e-12)


@pytest.mark.parametrize("speed", [0.0, -60.0])
def test_non_positive_print_speed_times_only_travels(speed):
    plan = program(layer(200, extrude(DEMO_SQUARE), travel([(0, 0), (20000, 0)])))
    r = report(plan, profile(max_print_speed_mm_s=speed))
    assert r["print_move_s"] == 0.0
    assert r["travel_move_s"] == pytest.approx(0.1 + (20 - 15) / 150 + 0.1, rel=1e-12)
    assert r["total_s"] == r["travel_move_s"]


def test_non_positive_travel_speed_times_only_extrusions():
    plan = program(layer(200, extrude(DEMO_SQUARE), travel([(0, 0), (20000, 0)])))
    r = report(plan, profile(max_travel_speed_mm_s=0.0))
    assert r["travel_move_s"] == 0.0
    assert r["print_move_s"] == 1.4455445579093018


def test_layers_and_split():
    plan = program(
        layer(200, extrude(DEMO_SQUARE), travel([(0, 0), (20000, 0)])),
        layer(400),
        layer(600, travel([(0, 0), (1000, 0)]), extrude([(0, 0), (20000, 0)], role="Infill")),
    )
    r = report(plan)
    square = 1.4455445579093018
    hop = 0.1 + 5 / 150 + 0.1
    short_hop = 2 * math.sqrt(1500) / 1500  # 1 mm at 1500 mm/s² peaks at 38.7 mm/s
    line = 0.04 + 17.6 / 60 + 0.04
    assert [z for z, _ in r["per_layer_s"]] == [200, 400, 600]
    assert r["per_layer_s"][0][1] == pytest.approx(square + hop, rel=1e-12)
    assert r["per_layer_s"][1][1] == 0.0
    assert r["per_layer_s"][2][1] == pytest.approx(short_hop + line, rel=1e-12)
    assert r["min_layer_s"] == 0.0
    assert r["print_move_s"] == pytest.approx(square + line, rel=1e-12)
    assert r["travel_move_s"] == pytest.approx(hop + short_hop, rel=1e-12)
    assert r["total_s"] == r["print_move_s"] + r["travel_move_s"]


def test_each_toolpath_starts_and_ends_at_rest():
    # Two toolpaths that continue each other take longer than one toolpath over both.
    split = program(layer(200, extrude([(0, 0), (10000, 0)]), extrude([(10000, 0), (20000, 0)])))
    joined = one_extrusion([(0, 0), (10000, 0), (20000, 0)])
    assert report(split)["total_s"] > report(joined)["total_s"]


def test_huge_coordinates_stay_finite():
    big = 2**62
    r = report(one_extrusion([(-big, -big), (big, big)]))
    assert math.isfinite(r["total_s"]) and r["total_s"] > 0




@pytest.mark.parametrize(
    "overrides",
    [
        dict(max_print_speed_mm_s=1e308, acceleration_mm_s2=1e308),
        dict(max_print_speed_mm_s=1e308),
        dict(acceleration_mm_s2=1e308),
        dict(acceleration_mm_s2=5e-324),
        dict(junction_deviation_mm=1e308),
        dict(max_print_speed_mm_s=5e-324),
    ],
    ids=["speed-and-acceleration-huge", "speed-huge", "acceleration-huge", "acceleration-tiny",
         "deviation-huge", "speed-tiny"],
)
def test_extreme_profiles_return(overrides):
    # Out-of-range values do not read; the extremes that do can overflow to infinity and give NaN,
    # written as null, but every call returns a report.
    plan = one_extrusion([(0, 0), (20000, 0), (20000, 20000), (0, 0), (0, 0)])
    r = report(plan, profile(**overrides))
    assert r["total_s"] is None or r["total_s"] > 0
    assert len(r["per_layer_s"]) == 1


def test_nan_times_are_written_as_null():
    r = report(one_extrusion([(0, 0), (20000, 0)]),
               profile(max_print_speed_mm_s=1e308, acceleration_mm_s2=1e308))
    assert r["total_s"] is None and r["per_layer_s"] == [[200, None]]


def test_profile_value_out_of_double_range_does_not_read():
    text = DEFAULT_PROFILE_TEXT.replace("60.0", "1e400")
    with pytest.raises(ValueError, match="^invalid MachineProfile JSON; .* at line 2 column"):
        _tolm.print_time(demo_square(), text)


def reference_time(points, v=60.0, a=1500.0, junction=0.05):
    """The kinematic model written out step by step, in the same floating-point order."""
    n = len(points)
    if v <= 0 or n < 2:
        return 0.0
    diffs = [((points[k + 1][0] - points[k][0]) / 1000, (points[k + 1][1] - points[k][1]) / 1000)
             for k in range(n - 1)]
    lengths = [math.sqrt(dx * dx + dy * dy) for dx, dy in diffs]
    if a <= 0:
        return sum(l / max(v, 1e-9) for l in lengths if l > 0)
    delta = max(junction, 0.0)
    s = [0.0] * n
    for j in range(1, n - 1):
        (ux, uy), (wx, wy) = diffs[j - 1], diffs[j]
        nu, nw = math.sqrt(ux * ux + uy * uy), math.sqrt(wx * wx + wy * wy)
        if nu == 0 or nw == 0:
            continue
        c = min(max((ux * wx + uy * wy) / (nw * nu), -1.0), 1.0)
        h = math.sqrt(max((c + 1) * 0.5, 0.0))
        s[j] = v if h >= 0.999999999 else min(v, math.sqrt(delta * h / (1 - h) * a))
    for k in range(n - 2, -1, -1):
        s[k] = min(s[k], math.sqrt(lengths[k] * (2 * a) + s[k + 1] * s[k + 1]))
    for k in range(1, n):
        s[k] = min(s[k], math.sqrt(lengths[k - 1] * (2 * a) + s[k - 1] * s[k - 1]))
    t = 0.0
    for k in range(n - 1):
        length, vi, vo = lengths[k], s[k], s[k + 1]
        if length <= 0:
            continue
        vc = max(vi, vo, v)
        da, dd = (vc * vc - vi * vi) / (2 * a), (vc * vc - vo * vo) / (2 * a)
        if length >= da + dd:
            t += (vc - vi) / a + (length - da - dd) / max(vc, 1e-9) + (vc - vo) / a
        else:
            vp = math.sqrt(max((vo * vo + 2 * a * length + vi * vi) * 0.5, 0.0))
            t += max(vp - vo, 0.0) / a + max(vp - vi, 0.0) / a
    return t


@pytest.mark.parametrize("seed", range(6))
def test_matches_the_step_by_step_model_exactly(seed):
    # Random paths mixing long runs, tiny wiggles, repeated points and reversals, under random
    # profiles: every time must agree to the last bit.
    import random

    rng = random.Random(seed)
    for _ in range(40):
        points = [(rng.randint(-5000, 5000), rng.randint(-5000, 5000))]
        for _ in range(rng.randint(0, 30)):
            x, y = points[-1]
            step = rng.choice([0, 1, 7, 150, 3000, 40000])
            choice = rng.random()
            if choice < 0.1:
                points.append((x, y))
            elif choice < 0.2 and len(points) > 1:
                points.append(points[-2])
            else:
                points.append((x + rng.randint(-step, step), y + rng.randint(-step, step)))
        v = rng.choice([60.0, 200.0, 5.5])
        a = rng.choice([1500.0, 20000.0, 3.0])
        junction = rng.choice([0.05, 0.0, 2.0])
        got = report(one_extrusion(points), profile(max_print_speed_mm_s=v, acceleration_mm_s2=a,
                                                    junction_deviation_mm=junction))["total_s"]
        assert got == reference_time(points, v, a, junction), points


@pytest.mark.parametrize(
    "v, a",
    [(1e300, 1e300), (1e200, 1.0), (1e154, 1e-300), (60.0, 1e308), (1e-300, 1500.0),
     (1.5e154, 1e308), (1e200, 1e308)],
)
def test_overflowing_speeds_match_the_model(v, a):
    # Squares of such speeds overflow to infinity; the report must follow the model's arithmetic
    # (including infinities and NaN, written as null) rather than shortcut it.
    points = [(0, 0), (20000, 0), (20000, 20000), (20000, 40000), (0, 0)]
    got = report(one_extrusion(points), profile(max_print_speed_mm_s=v, acceleration_mm_s2=a))
    expected = reference_time(points, v, a)
    if not math.isfinite(expected):
        assert got["total_s"] is None
    else:
        assert got["total_s"] == expected
