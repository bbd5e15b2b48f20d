"""The canonical content hash of low-level programs."""

import json
import math
import random
import struct

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import _tolm

LO_PREFIX = (
    "expected a LOW-LEVEL program JSON (layers of toolpaths, e.g. from lower_to_json() or parse_gcode()); "
)
ROLES = ["Perimeter", "Infill", "Skin", "Support"]
I64_MIN, I64_MAX = -(2**63), 2**63 - 1

# --- an independent reference: the byte stream, hashed with plain big-integer arithmetic -------

FNV_OFFSET = 0x6C62272E07BB014262B821756295C58D
FNV_PRIME = 2**88 + 0x13B


def fnv1a128(data):
    h = FNV_OFFSET
    for byte in data:
        h = ((h ^ byte) * FNV_PRIME) % 2**128
    return f"{h:032x}"


def be(v):
    return struct.pack(">q", v) if v < 0 else struct.pack(">Q", v)


def flow_units(flow):
    t = flow * 100000.0
    if math.isinf(t):
        return I64_MAX if t > 0 else I64_MIN
    r = math.trunc(t)
    if abs(t - r) >= 0.5:  # halves away from zero
        r += 1 if t > 0 else -1
    return max(I64_MIN, min(I64_MAX, r))


def canonical_bytes(program):
    out = bytearray(be(len(program["layers"])))
    for layer in program["layers"]:
        out += b"\x01" + be(layer["z_um"]) + be(len(layer["toolpaths"]))
        for tp in layer["toolpaths"]:
            out += b"\x02"
            if tp["kind"] == "Travel":
                out += b"\x11"
            else:
                out += b"\x10" + bytes([ROLES.index(tp["kind"]["Extrude"]) + 1]) + be(tp["width_um"])
                flow = tp.get("flow_e")
                out += b"\xf0" if flow is None else b"\xf1" + be(flow_units(flow))
            points = tp["path"]["points"]
            out += be(len(points))
            for p in points:
                out += be(p["x"]) + be(p["y"])
    return bytes(out)


def reference_hash(program):
    return fnv1a128(canonical_bytes(program))


# --- programs ---------------------------------------------------------------------------------


def pts(coords):
    return {"points": [{"x": x, "y": y} for x, y in coords]}


def extrude(coords, role="Perimeter", width=400, **extra):
    return {"kind": {"Extrude": role}, "path": pts(coords), "width_um": width, **extra}


def travel(coords, width=0, **extra):
    return {"kind": "Travel", "path": pts(coords), "width_um": width, **extra}


def program(*toolpaths, z=200):
    return {"layers": [{"z_um": z, "toolpaths": list(toolpaths)}]}


def h(obj):
    return _tolm.canonical_hash(obj if isinstance(obj, str) else json.dumps(obj))


DEMO = program(extrude([[0, 0], [20000, 0], [20000, 20000], [0, 20000], [0, 0]]))


def test_known_values():
    assert h({"layers": []}) == "9d30c1f78465995be47dda5e4e4e77ed"
    assert fnv1a128(bytes(8)) == "9d30c1f78465995be47dda5e4e4e77ed"
    assert h(DEMO) == "ee1d9907198cd9c1aca941b6c9bb8ed1"
    assert _tolm.canonical_hash(_tolm.lower_to_json(_tolm.demo_square_json())) == h(DEMO)


def test_formatting_member_order_and_array_forms_do_not_matter():
    compact = json.dumps(DEMO, separators=(",", ":"))
    reordered = (
        '{"layers":[{"toolpaths":[{"width_um":400,"path":{"points":[[0,0],{"y":0,"x":20000},'
        '[20000,20000],[0,20000],[0,0]]},"kind":{"Extrude":"Perimeter"},"flow_e":null,"note":1}],'
        '"z_um":200}]}'
    )
    as_array = '{"layers":[[200,[[{"Extrude":"Perimeter"},[[[0,0],[20000,0],[20000,20000],[0,20000],[0,0]]],400]]]]}'
    assert {h(compact), h(reordered), h(as_array), h(json.dumps(DEMO, indent=7))} == {h(DEMO)}


BASE = program(extrude([[0, 0], [1000, 0]], flow_e=0.5), travel([[1000, 0], [2000, 0]]), extrude([[2000, 0], [3000, 0]], "Infill"))


@pytest.mark.parametrize(
    "changed, same",
    [
        pytest.param(program(BASE["layers"][0]["toolpaths"][0], travel([[1000, 0], [2000, 0]], width=999, flow_e=3.0), BASE["layers"][0]["toolpaths"][2]), True, id="travel-width-and-flow-ignored"),
        pytest.param(program(extrude([[0, 0], [1000, 0]], flow_e=0.500004), *BASE["layers"][0]["toolpaths"][1:]), True, id="flow-below-resolution"),
        pytest.param(program(extrude([[0, 0], [1000, 0]], flow_e=0.50001), *BASE["layers"][0]["toolpaths"][1:]), False, id="flow-one-unit-more"),
        pytest.param(program(extrude([[0, 0], [1000, 0]]), *BASE["layers"][0]["toolpaths"][1:]), False, id="flow-removed"),
        pytest.param(program(extrude([[0, 0], [1000, 0]], width=401, flow_e=0.5), *BASE["layers"][0]["toolpaths"][1:]), False, id="extrusion-width"),
        pytest.param(program(extrude([[0, 0], [1000, 0]], "Skin", flow_e=0.5), *BASE["layers"][0]["toolpaths"][1:]), False, id="role"),
        pytest.param(program(extrude([[0, 0], [1000, 0]], flow_e=0.5), travel([[1000, 0], [2000, 1]]), BASE["layers"][0]["toolpaths"][2]), False, id="travel-point"),
        pytest.param(program(*reversed(BASE["layers"][0]["toolpaths"])), False, id="toolpath-order"),
        pytest.param(program(*BASE["layers"][0]["toolpaths"], z=201), False, id="layer-z"),
        pytest.param({"layers": BASE["layers"] + [{"z_um": 200, "toolpaths": []}]}, False, id="extra-empty-layer"),
        pytest.param(program(*BASE["layers"][0]["toolpaths"], extrude([])), False, id="extra-empty-path"),
        pytest.param(program(extrude([[1000, 0], [0, 0]], flow_e=0.5), *BASE["layers"][0]["toolpaths"][1:]), False, id="point-order"),
        pytest.param(program(extrude([[0, 0], [1000, 0]], flow_e=0.5), {**travel([[1000, 0], [2000, 0]]), "kind": {"Extrude": "Perimeter"}}, BASE["layers"][0]["toolpaths"][2]), False, id="travel-vs-extrusion"),
    ],
)
def test_what_the_hash_sees(changed, same):
    assert (h(changed) == h(BASE)) is same
    assert h(changed) == reference_hash(changed)


@pytest.mark.parametrize(
    "a, b, same",
    [
        (0.123454, 0.1234549, True),
        (0.123454, 0.123456, False),
        (0.000005, 0.00001, True),  # a half rounds away from zero
        (-0.000005, -0.00001, True),
        (-0.000004, 0.0, True),
        (-0.000004, None, False),  # a present zero flow is not an absent flow
        (1e300, 1e14, True),  # both saturate
        (-1e300, -1e15, True),
    ],
)
def test_flow_resolution(a, b, same):
    ha = h(program(extrude([[0, 0]], flow_e=a)))
    hb = h(program(extrude([[0, 0]], flow_e=b)))
    assert (ha == hb) is same


def test_extreme_values():
    extreme = program(extrude([[I64_MIN, I64_MAX], [I64_MAX, I64_MIN]], "Support", width=I64_MIN, flow_e=-0.0), z=I64_MIN)
    assert h(extreme) == reference_hash(extreme)


def test_text_is_32_lowercase_hex_digits_with_leading_zeros():
    # Search small programs for a hash whose first digit is 0, so that the padding is exercised.
    rng = random.Random(5)
    found = None
    for _ in range(400):
        candidate = program(extrude([[rng.randrange(10**6), 0]]))
        digest = h(candidate)
        assert len(digest) == 32 and digest == digest.lower() and int(digest, 16) >= 0
        if digest.startswith("0"):
            found = candidate
            break
    assert found is not None
    assert h(found) == reference_hash(found)


@pytest.mark.parametrize(
    "text, fragment",
    [("{", "EOF"), ("[]", "invalid length 0"), ('{"layers": [{"z_um": 0, "regions": []}]}', "toolpaths")],
)
def test_bad_input(text, fragment):
    with pytest.raises(ValueError) as info:
        _tolm.canonical_hash(text)
    assert str(info.value).startswith(LO_PREFIX)
    assert fragment in str(info.value)


def test_argument_type():
    with pytest.raises(TypeError, match="program_json"):
        _tolm.canonical_hash(None)


int64 = st.integers(I64_MIN, I64_MAX)
small = st.integers(-10**6, 10**6)
flows = st.one_of(st.none(), st.floats(allow_nan=False, allow_infinity=False), st.floats(-2, 2))
points = st.lists(st.tuples(st.one_of(small, int64), st.one_of(small, int64)), max_size=5)
toolpaths = st.one_of(
    st.builds(lambda c, w, f: travel(c, w, **({} if f is None else {"flow_e": f})), points, int64, flows),
    st.builds(
        lambda c, r, w, f: extrude(c, r, w, **({} if f is None else {"flow_e": f})),
        points,
        st.sampled_from(ROLES),
        int64,
        flows,
    ),
)
programs = st.builds(
    lambda layers: {"layers": layers},
    st.lists(st.builds(lambda z, t: {"z_um": z, "toolpaths": t}, int64, st.lists(toolpaths, max_size=4)), max_size=4),
)


@settings(max_examples=200, deadline=None)
@given(programs)
def test_matches_the_reference(prog):
    assert h(prog) == reference_hash(prog)


def test_docstring():
    assert _tolm.canonical_hash.__doc__ == (
        'Stable 32-hex-char content hash of a program (JSON): dedup, cache keys, "same program" claims.'
    )
