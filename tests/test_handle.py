"""The Program handle: construction, export, cache control, queries, edits and comparisons."""

import inspect
import re
import json

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import _tolm
from _tolm import Program
from conftest import corpus_params
from plans import SQUARE, extrude, layer, points_of, program, travel

TWO_LAYERS = program(
    layer(200, extrude(SQUARE, width=400), travel([(0, 0), (3, 4)]), extrude([(0, 0), (2000, 0)], role="Infill")),
    layer(400, extrude([(0, 0), (0, 2000), (10, 2000)], role="Skin"), travel([(10, 2000), (10, 2010)])),
)


def five_layers():
    """Five layers, the fourth holding two toolpaths, for edits away from layer 0."""
    layers = [layer(200 * (k + 1), extrude([(0, 0), (1000 * k + 1000, 0)])) for k in range(5)]
    layers[3] = layer(800, extrude([(0, 0), (3000, 0)]), extrude([(0, 400), (3000, 400), (0, 400)]))
    return program(*layers)


def state(h):
    return h.to_json(), h.fingerprint(), h.resolution_um


# ---- construction and export --------------------------------------------------------------------


def test_no_constructor():
    with pytest.raises(TypeError) as info:
        Program()
    assert str(info.value) == "No constructor defined for Program"


def test_from_json_round_trips_and_keys_the_cache():
    h = Program.from_json(TWO_LAYERS)
    assert json.loads(h.to_json()) == json.loads(TWO_LAYERS)
    assert h.to_json() == _tolm.apply_action(TWO_LAYERS, '{"SwapToolpaths": [0, 0, 0]}')[0]
    assert h.resolution_um == 200
    assert Program.from_json(TWO_LAYERS, resolution_um=50).resolution_um == 50


@pytest.mark.parametrize("requested, used", [(0, 1), (-5, 1), (1, 1), (201, 201), (-(2**63), 1)])
def test_resolution_below_one_becomes_one(requested, used):
    h = Program.from_json(TWO_LAYERS, requested)
    assert h.resolution_um == used
    h.set_resolution(requested)
    assert h.resolution_um == used
    assert h.fingerprint() == _tolm.material_fingerprint(TWO_LAYERS, requested)


@pytest.mark.parametrize("text", ["{", "[]", '{"layers": 3}', "{}"])
def test_from_json_errors_use_the_short_prefix(text):
    with pytest.raises(ValueError) as info:
        Program.from_json(text)
    message = str(info.value)
    assert message.startswith("expected a LOW-LEVEL program JSON; ")
    assert " at line " in message and " column " in message


@pytest.mark.parametrize(
    "call, name",
    [
        (lambda: Program.from_json(5), "lo_program_json"),
        (lambda: Program.from_json("{}", resolution_um="200"), "resolution_um"),
        (lambda: Program.from_json(TWO_LAYERS).toolpath_count("0"), "layer"),
        (lambda: Program.from_json(TWO_LAYERS).same_material("not a handle"), "other"),
        (lambda: Program.from_json(TWO_LAYERS).apply(b"{}"), "action_json"),
    ],
)
def test_argument_type_errors_name_the_parameter(call, name):
    with pytest.raises(TypeError) as info:
        call()
    assert name in str(info.value)


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda h: h.toolpath_count(-1), OverflowError),
        (lambda h: h.apply_sampled(2**64), OverflowError),
        (lambda h: h.layer_count(1), TypeError),
        (lambda h: h.to_json(extra=1), TypeError),
        (lambda h: h.action(i=0, j=1), TypeError),
        (lambda h: h.action(), TypeError),
    ],
)
def test_argument_binding_errors(call, error):
    with pytest.raises(error):
        call(Program.from_json(TWO_LAYERS))


GCODE = """G21
G90
M83
;LAYER_CHANGE
;Z:0.2
G1 Z0.2 F600
G0 X0 Y0
;TYPE:Perimeter
G1 X10 Y0 E0.5
G1 X10 Y10 E0.5
G0 X20 Y20
"""


@pytest.mark.parametrize("resolution, used", [(None, 200), (100, 100), (0, 1)])
def test_from_gcode_keeps_the_parsed_plan(resolution, used):
    h = Program.from_gcode(GCODE) if resolution is None else Program.from_gcode(GCODE, resolution)
    parsed, _ = _tolm.parse_gcode(GCODE)
    assert h.to_json() == parsed
    assert h.resolution_um == used
    assert h.layer_count() >= 1
    assert h.fingerprint() == _tolm.material_fingerprint(parsed, used)


@pytest.mark.parametrize("text", ["", "not g-code at all\n\x00\n", "G1 X1e999 Y-- E\nG2 I0 J0\n"])
def test_from_gcode_never_fails(text):
    h = Program.from_gcode(text)
    assert h.to_json() == _tolm.parse_gcode(text)[0]


@pytest.mark.parametrize("corpus_file", corpus_params(), indirect=True)
def test_corpus_plans_under_sampled_edits(corpus_file):
    text = corpus_file.read_text(errors="replace")
    h = Program.from_gcode(text)
    reference = h.copy()
    assert h.fingerprint() == _tolm.material_fingerprint(_tolm.parse_gcode(text)[0])
    for seed in range(0, 40 * 7919, 7919):
        h.apply_sampled(seed * 2654435761)
    edited = h.to_json()
    assert h.fingerprint() == _tolm.material_fingerprint(edited)
    assert h.same_material(reference) == (h.fingerprint() == reference.fingerprint())
    listed = json.loads(_tolm.legal_actions(edited))
    assert h.action_count() == len(listed)
    for i in range(0, len(listed), max(1, len(listed) // 50)):
        assert json.loads(h.action(i)) == listed[i]


def test_copy_is_deep_with_an_empty_cache_at_the_same_resolution():
    h = Program.from_json(TWO_LAYERS, 150)
    original = h.fingerprint()
    c = h.copy()
    assert c.resolution_um == 150
    assert c.fingerprint() == original and c.to_json() == h.to_json()
    c.apply('{"SplitSegment": [0, 2, 0, 250]}')
    assert points_of(c.to_json(), 0, 2) == [(0, 0), (500, 0), (2000, 0)]
    assert points_of(h.to_json(), 0, 2) == [(0, 0), (2000, 0)]
    assert h.fingerprint() == original


# ---- shape, repr, queries -----------------------------------------------------------------------


def test_shape_and_repr():
    h = Program.from_json(TWO_LAYERS)
    assert (len(h), h.layer_count()) == (2, 2)
    assert [h.toolpath_count(0), h.toolpath_count(1)] == [3, 2]
    assert repr(h) == "Program(layers=2, toolpaths=3, resolution_um=200)"
    assert repr(Program.from_json(program(), -1)) == "Program(layers=0, toolpaths=0, resolution_um=1)"


@pytest.mark.parametrize("method", ["toolpath_count", "occupancy_grid"])
def test_layer_index_out_of_range(method):
    h = Program.from_json(TWO_LAYERS)
    for bad in (h.layer_count(), 2**64 - 1):
        with pytest.raises(ValueError) as info:
            getattr(h, method)(bad)
        assert str(info.value) == "layer index out of range"


@pytest.mark.parametrize(
    "plan, expected",
    [
        (program(layer(200, extrude(SQUARE))), -0.0),
        (program(), -0.0),
        (program(layer(200, travel([(0, 0), (3, 4)]))), 5.0),
        (program(layer(200, travel([(0, 0)]), travel([]))), -0.0),
        (TWO_LAYERS, 15.0),
        (program(layer(0, travel([(0, 0), (3, 4), (3, 4), (0, 0)])), layer(1, travel([(1, 1), (1, -1)]))), 12.0),
    ],
    ids=["no-travel", "no-layers", "one-travel", "degenerate-travels", "mixed", "multi-segment"],
)
def test_travel_distance(plan, expected):
    got = Program.from_json(plan).travel_distance_um()
    assert got == expected
    assert str(got) == str(expected)  # keeps the sign of an empty sum


@pytest.mark.parametrize("resolution", [200, 1000, 37])
def test_occupancy_and_grid_match_the_module_functions(resolution):
    h = Program.from_json(TWO_LAYERS, resolution)
    assert h.occupancy() == _tolm.occupancy(TWO_LAYERS, resolution)
    for k in range(h.layer_count()):
        assert h.occupancy_grid(k) == _tolm.occupancy_grid(TWO_LAYERS, k, resolution)


def test_empty_plan_fingerprint_is_the_offset_basis():
    assert Program.from_json(program()).fingerprint() == "6c62272e07bb014262b821756295c58d"


# ---- cache control ------------------------------------------------------------------------------


def test_set_resolution_rekeys_even_when_unchanged():
    h = Program.from_json(TWO_LAYERS)
    before = h.fingerprint()
    h.set_resolution(200)
    assert h.fingerprint() == before
    h.set_resolution(100)
    assert h.fingerprint() == _tolm.material_fingerprint(TWO_LAYERS, 100) != before
    assert h.occupancy() == _tolm.occupancy(TWO_LAYERS, 100)


@pytest.mark.parametrize("layer_index", [0, 1, 2, 3, 2**64 - 1])
def test_mark_dirty_never_raises_and_changes_nothing_material(layer_index):
    h = Program.from_json(TWO_LAYERS)
    assert h.mark_dirty(layer_index) is None  # before the first fill
    before = h.fingerprint()
    assert h.mark_dirty(layer_index) is None
    assert h.fingerprint() == before
    assert h.occupancy() == _tolm.occupancy(TWO_LAYERS)


# ---- actions ------------------------------------------------------------------------------------


@pytest.mark.parametrize("plan", [program(), program(layer(200), layer(400))], ids=["no-layers", "no-toolpaths"])
def test_nothing_to_offer(plan):
    h = Program.from_json(plan)
    assert h.action_count() == 0
    assert h.legal_actions() == "[]"
    assert h.apply_sampled(7) == []
    assert h.to_json() == Program.from_json(plan).to_json()
    for method in (h.apply_index, h.action):
        with pytest.raises(ValueError) as info:
            method(0)
        assert str(info.value) == "action index out of range"


def test_enumeration_matches_the_module_function():
    h = Program.from_json(TWO_LAYERS)
    assert h.legal_actions() == _tolm.legal_actions(TWO_LAYERS)
    listed = json.loads(h.legal_actions())
    assert h.action_count() == len(listed)
    assert [json.loads(h.action(i)) for i in range(len(listed))] == listed
    with pytest.raises(ValueError, match="^action index out of range$"):
        h.action(len(listed))


def test_seeded_choice_is_seed_mod_count():
    plan = program(layer(200, extrude([(0, 0), (1, 0)]), extrude([(0, 0), (1, 0)]), extrude([(5, 5)])))
    assert Program.from_json(plan).action_count() == 5
    for seed, position in [(7, 2), (2**64 - 1, 0), (5, 0), (4, 4)]:
        sampled, indexed = Program.from_json(plan), Program.from_json(plan)
        assert sampled.apply_sampled(seed) == indexed.apply_index(position) == [0]
        assert sampled.to_json() == indexed.to_json()
    # Position 2 is ReversePath of toolpath 1, position 0 that of toolpath 0: neither changes a
    # two-point path's material, so check the recorded order instead.
    h = Program.from_json(plan)
    h.apply_sampled(1)  # SwapToolpaths 0/1 of identical paths: same JSON
    assert h.to_json() == Program.from_json(plan).to_json()


def test_swap_in_layer_three_keeps_the_material():
    h = Program.from_json(five_layers())
    reference = h.copy()
    listed = json.loads(h.legal_actions())
    position = listed.index({"SwapToolpaths": {"layer": 3, "a": 0, "b": 1}})
    assert h.apply_index(position) == [3]
    assert h.to_json() != reference.to_json()
    assert h.same_material(reference)
    assert reference.same_material(h)


def test_apply_accepts_permute_and_marks_the_layer():
    h = Program.from_json(TWO_LAYERS)
    h.fingerprint()  # fill the cache so the edit flags a layer
    assert h.apply('{"PermuteToolpaths": {"layer": 0, "perm": [2, 0, 1]}}') == [0]
    assert h.fingerprint() == _tolm.material_fingerprint(h.to_json())
    assert h.action_count() == len(json.loads(_tolm.legal_actions(h.to_json())))


def test_split_then_merge_restores_the_plan_and_its_fingerprint():
    h = Program.from_json(TWO_LAYERS)
    before = (h.to_json(), h.fingerprint(), h.action_count())
    assert h.apply('{"SplitSegment": [1, 0, 0, 500]}') == [1]
    assert points_of(h.to_json(), 1, 0) == [(0, 0), (0, 1000), (0, 2000), (10, 2000)]
    assert h.action_count() == before[2] + 2  # one more split, and now a merge
    assert h.apply('{"MergeCollinear": [1, 0]}') == [1]
    assert (h.to_json(), h.fingerprint(), h.action_count()) == before


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda h: h.apply('{"ReversePath": [9, 0]}'), "action failed: InvalidLayer"),
        (lambda h: h.apply('{"SwapToolpaths": [0, 0, 3]}'), "action failed: InvalidToolpath"),
        (lambda h: h.apply('{"SplitSegment": [0, 0, 4, 500]}'), "action failed: InvalidSegment"),
        (lambda h: h.apply('{"RelocateSeam": [0, 0, 4]}'), "action failed: InvalidVertex"),
        (lambda h: h.apply('{"PermuteToolpaths": [0, [0, 0, 1]]}'), "action failed: NotApplicable"),
        (lambda h: h.apply('{"MergeCollinear": [0, 2]}'), "action failed: NotApplicable"),
        (lambda h: h.apply("not an action"), "invalid action JSON; "),
        (lambda h: h.apply('{"Teleport": [0]}'), "invalid action JSON; unknown variant `Teleport`"),
        (lambda h: h.action(10**6), "action index out of range"),
        (lambda h: h.apply_index(2**64 - 1), "action index out of range"),
    ],
)
def test_failed_edits_leave_plan_and_cache_unchanged(call, message):
    h = Program.from_json(TWO_LAYERS)
    before = state(h)
    count = h.action_count()
    with pytest.raises(ValueError) as info:
        call(h)
    assert str(info.value).startswith(message)
    assert state(h) == before
    assert h.action_count() == count
    # The cache was not left stale either: a fresh handle agrees.
    h.mark_dirty(0)
    assert h.fingerprint() == Program.from_json(TWO_LAYERS).fingerprint()


# ---- access -------------------------------------------------------------------------------------


def test_same_material_with_itself_is_refused_and_leaves_it_usable():
    h = Program.from_json(TWO_LAYERS)
    with pytest.raises(RuntimeError) as info:
        h.same_material(h)
    assert str(info.value) == "Already borrowed"
    # The refusal released the handle's own access.
    assert h.apply_sampled(3) == [0]
    assert h.same_material(h.copy())


def test_same_material_uses_each_sides_resolution():
    a = Program.from_json(TWO_LAYERS, 200)
    b = Program.from_json(TWO_LAYERS, 100)
    assert not a.same_material(b)
    b.set_resolution(200)
    assert a.same_material(b)


# ---- introspection ------------------------------------------------------------------------------

METHOD_SIGNATURES = {
    "from_json": "(lo_program_json, resolution_um=200)",
    "from_gcode": "(gcode, resolution_um=200)",
    "to_json": "()",
    "to_gcode": "()",
    "copy": "()",
    "canonical_hash": "()",
    "set_resolution": "(resolution_um)",
    "mark_dirty": "(layer)",
    "layer_count": "()",
    "toolpath_count": "(layer)",
    "occupancy": "()",
    "fingerprint": "()",
    "travel_distance_um": "()",
    "occupancy_grid": "(layer)",
    "legal_actions": "()",
    "action_count": "()",
    "action": "(i)",
    "apply": "(action_json)",
    "apply_index": "(i)",
    "apply_sampled": "(seed)",
    "same_material": "(other)",
    "iou_to": "(other, resolution_um=200)",
    "graded_to": "(other, resolution_um=200)",
    "preserves_within": "(reference, epsilon_um, resolution_um=200)",
}


@pytest.mark.parametrize("name, signature", sorted(METHOD_SIGNATURES.items()))
def test_method_signatures(name, signature):
    h = Program.from_json(program())
    assert str(inspect.signature(getattr(h, name))) == signature


def test_unbound_methods_show_self_and_keyword_use_works():
    assert str(inspect.signature(Program.apply_index)) == "(self, /, i)"
    h = Program.from_json(TWO_LAYERS)
    assert h.apply_index(i=0) == [0]
    assert Program.from_json(lo_program_json=TWO_LAYERS, resolution_um=7).resolution_um == 7


@pytest.mark.parametrize(
    "name, doc",
    [
        ("from_json", "Load from a low-level program JSON (as from `lower_to_json` / `parse_gcode`). `resolution_um`\nkeys the incremental denote cache."),
        ("from_gcode", "Load by parsing slicer G-code (commanded flow is captured too)."),
        ("to_json", "Export the current program to low-level JSON (the interchange boundary)."),
        ("copy", "A deep copy with a fresh (empty) denote cache — for spawning candidates."),
        ("set_resolution", "Re-key the denote cache to a new resolution (invalidates it)."),
        ("mark_dirty", "Mark a layer dirty by hand (after an out-of-band edit)."),
        ("canonical_hash", "Content hash (stable 32-hex-char identity) of the current program."),
        ("travel_distance_um", "Total travel distance (microns) — a cheap scalar objective."),
        ("occupancy_grid", "Dense 0/1 occupancy raster for a layer: `(rows, cols, min_i, min_j, bytes)`. Wrap as\n`np.frombuffer(bytes, np.uint8).reshape(rows, cols)`."),
        ("legal_actions", "Enumerate the legal actions over the current program, as JSON. Serializes the whole list;\nfor a hot loop prefer `action_count` + `apply_index`/`apply_sampled`, which never marshal it."),
        ("action_count", "Number of legal actions right now — no serialization. Pair with `action`/`apply_index`."),
        ("action", "The i-th legal action as JSON (serializes just that one action)."),
        ("apply", "Apply one action (JSON, as from `legal_actions`/`action`) in place, marking the touched layers\ndirty. Returns the touched layer indices. Raises on an invalid/inapplicable action, leaving the\nprogram unchanged."),
        ("apply_index", "Apply the i-th legal action in place — no JSON crosses the boundary. Returns touched layers."),
        ("apply_sampled", "Apply a seeded-deterministic legal action in place (the hot-loop primitive: no JSON, no full\naction list marshaled). Returns touched layers, or an empty list if there are no legal actions."),
        ("iou_to", "IoU similarity of deposited material to another handle (`None` if both empty) — a scalar reward."),
        ("graded_to", "Graded nearest-miss distance report (JSON) to another handle — a smooth reward signal."),
        ("preserves_within", "Whether this program is within `epsilon_um` of a reference (worst nearest-miss)."),
        ("same_material", "Whether this program deposits the same material as `other` — a fast fingerprint compare (both\ncaches update incrementally). The constraint check for order-optimization RL."),
    ],
)
def test_method_docstrings(name, doc):
    assert getattr(Program, name).__doc__ == doc


def test_class_docstring_and_signature_only_docs():
    assert Program.__doc__ == "A native handle over a low-level move plan with an incremental denote cache."
    assert not Program.layer_count.__doc__
    assert not Program.toolpath_count.__doc__
    assert Program.__module__ == "_tolm"


# ---- equivalence with the full enumeration under random edits ----------------------------------

coord = st.integers(-40, 40).map(lambda v: v * 25)
path = st.lists(st.tuples(coord, coord), max_size=6).map(
    lambda pts: pts + pts[:1] if len(pts) >= 2 and pts[0] != pts[-1] and len(pts) % 2 else pts
)
toolpath = st.builds(
    lambda pts, w, is_travel: travel(pts, w) if is_travel else extrude(pts, w),
    path,
    st.integers(0, 600),
    st.booleans(),
)
plans = st.lists(
    st.builds(lambda z, tps: layer(z, *tps), st.integers(0, 2000), st.lists(toolpath, max_size=4)),
    max_size=4,
).map(lambda layers: program(*layers))

u64 = st.integers(0, 2**64 - 1)
small = st.integers(0, 6)
edit = st.one_of(
    st.tuples(st.just("sampled"), u64),
    st.tuples(st.just("index"), st.integers(0, 60)),
    st.tuples(st.just("permute"), small, st.permutations(range(4))),
    st.tuples(st.just("split"), small, small, small, st.sampled_from([1, 250, 333, 500, 999])),
    st.tuples(st.just("merge"), small, small),
    st.tuples(st.just("seam"), small, small, small),
)


def perform(h, step):
    kind, *args = step
    try:
        if kind == "sampled":
            return h.apply_sampled(args[0])
        if kind == "index":
            return h.apply_index(args[0])
        if kind == "permute":
            layer_index, perm = args
            n = h.toolpath_count(layer_index) if layer_index < h.layer_count() else 0
            return h.apply(json.dumps({"PermuteToolpaths": [layer_index, [p for p in perm if p < n]]}))
        if kind == "split":
            return h.apply(json.dumps({"SplitSegment": list(args)}))
        if kind == "merge":
            return h.apply(json.dumps({"MergeCollinear": list(args)}))
        return h.apply(json.dumps({"RelocateSeam": list(args)}))
    except ValueError as error:
        return str(error)


@settings(max_examples=120, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(plan=plans, steps=st.lists(edit, max_size=12), resolution=st.sampled_from([100, 200, 333]))
def test_positions_counts_and_cache_match_a_full_recomputation(plan, steps, resolution):
    h = Program.from_json(plan, resolution)
    h.fingerprint()
    for step in steps:
        before = h.to_json()
        result = perform(h, step)
        current = h.to_json()
        listed = json.loads(_tolm.legal_actions(current))
        if isinstance(result, str):
            assert current == before
            if step[0] in ("sampled", "index"):
                assert result == "action index out of range"
        elif result == []:
            assert step[0] == "sampled" and not listed and current == before
        else:
            assert len(result) == 1 and result[0] < h.layer_count()
        assert h.action_count() == len(listed)
        assert [json.loads(h.action(i)) for i in range(len(listed))] == listed
        assert h.fingerprint() == _tolm.material_fingerprint(current, resolution)
        if step[0] == "sampled" and listed:
            replay = Program.from_json(before, resolution)
            replay.apply_index(step[1] % len(json.loads(_tolm.legal_actions(before))))
            assert replay.to_json() == current


# ---- edits whose cells change through rounding --------------------------------------------------
# Splits and merges keep a path on the same line, but far from the origin the capsule test rounds
# differently for the halves than for the whole segment, so the cells can change. The handle must
# then re-rasterize the layer.

FAR = 2**60


@pytest.mark.parametrize(
    "a, b, width, resolution, t_permille",
    [
        ((FAR - 7655, FAR + 3922), (FAR - 9817, FAR + 3410), 900, 100, 500),
        ((FAR + 5894, FAR - 6599), (FAR + 7656, FAR - 3663), 484, 200, 500),
        ((FAR + 7317, FAR + 7076), (FAR + 6933, FAR + 8136), 70, 50, 750),
    ],
)
def test_split_that_changes_cells_is_seen_and_merge_restores_them(a, b, width, resolution, t_permille):
    plan = program(layer(0, extrude([a, b], width)), layer(200, extrude([(0, 0), (400, 0)])))
    h = Program.from_json(plan, resolution)
    before = h.fingerprint()
    h.apply(json.dumps({"SplitSegment": [0, 0, 0, t_permille]}))
    after = h.fingerprint()
    assert after == _tolm.material_fingerprint(h.to_json(), resolution)
    assert after != before
    h.apply('{"MergeCollinear": [0, 0]}')
    assert h.to_json() == Program.from_json(plan).to_json()
    assert h.fingerprint() == before


far_coord = st.integers(-3000, 3000).map(lambda v: FAR + v)
far_path = st.lists(st.tuples(far_coord, far_coord), min_size=2, max_size=5)
far_edit = st.one_of(
    st.tuples(st.just("split"), st.integers(0, 1), st.integers(0, 6), st.sampled_from([125, 250, 500, 750])),
    st.tuples(st.just("merge"), st.integers(0, 1)),
    st.tuples(st.just("sampled"), u64),
)


@settings(max_examples=80, deadline=None)
@given(
    paths=st.lists(far_path, min_size=1, max_size=2),
    steps=st.lists(far_edit, max_size=10),
    width=st.integers(0, 500),
    resolution=st.sampled_from([50, 100, 200]),
)
def test_far_edits_keep_the_cache_equal_to_a_full_recomputation(paths, steps, width, resolution):
    h = Program.from_json(program(layer(0, *[extrude(p, width) for p in paths])), resolution)
    h.fingerprint()
    for kind, *args in steps:
        try:
            if kind == "split":
                h.apply(json.dumps({"SplitSegment": [0, *args]}))
            elif kind == "merge":
                h.apply(json.dumps({"MergeCollinear": [0, *args]}))
            else:
                h.apply_sampled(args[0])
        except ValueError as error:
            assert str(error).startswith("action failed: ")
        assert h.fingerprint() == _tolm.material_fingerprint(h.to_json(), resolution)


# ---- emission and content hash ------------------------------------------------------------------


def test_to_gcode_and_canonical_hash_follow_the_plan():
    lowered = _tolm.lower_to_json(_tolm.demo_square_json())
    h = Program.from_json(lowered)
    assert h.to_gcode() == _tolm.program_to_gcode(_tolm.demo_square_json())
    assert h.canonical_hash() == _tolm.canonical_hash(lowered)
    assert re.fullmatch(r"[0-9a-f]{32}", h.canonical_hash())
    c = h.copy()
    assert (c.canonical_hash(), c.fingerprint()) == (h.canonical_hash(), h.fingerprint())
    source = (h.canonical_hash(), h.fingerprint(), h.to_gcode())
    c.apply('{"ReversePath": [0, 0]}')
    assert c.canonical_hash() == _tolm.canonical_hash(c.to_json()) != source[0]
    assert c.to_gcode() != source[2]
    assert (h.canonical_hash(), h.fingerprint(), h.to_gcode()) == source


def test_to_gcode_docstring_names_its_limits():
    doc = Program.to_gcode.__doc__
    for phrase in ("exactly", "5 decimals", "synthesized E", "`verify_roundtrip`"):
        assert phrase in doc


# ---- comparisons --------------------------------------------------------------------------------

SHIFTED = program(
    layer(200, extrude([(0, 0), (2000, 0)]), extrude([(0, 1000), (2000, 1000)])),
)
SHIFTED_B = program(
    layer(200, extrude([(0, 0), (2000, 0)]), extrude([(0, 1400), (2000, 1400)])),
)


@pytest.mark.parametrize("resolution", [200, 100, 0])
def test_comparisons_match_the_module_functions(resolution):
    a, b = Program.from_json(SHIFTED), Program.from_json(SHIFTED_B)
    report = json.loads(_tolm.diff_programs(SHIFTED, SHIFTED_B, resolution))
    assert a.iou_to(b, resolution) == report["iou"]
    assert 0 < a.iou_to(b, resolution_um=resolution) < 1
    assert a.graded_to(b, resolution) == _tolm.graded_diff(SHIFTED, SHIFTED_B, resolution)
    graded = json.loads(a.graded_to(b, resolution))
    for epsilon in (0.0, graded["max_um"], graded["max_um"] - 1, graded["max_um"] + 1):
        expected = _tolm.preserves_within(SHIFTED, SHIFTED_B, epsilon, resolution)
        assert a.preserves_within(b, epsilon, resolution) is expected
    assert a.preserves_within(b, graded["max_um"], resolution)
    assert not a.preserves_within(b, graded["max_um"] - 1, resolution)


def test_comparisons_take_this_handle_as_the_first_operand():
    a, b = Program.from_json(SHIFTED), Program.from_json(program(layer(200, extrude([(0, 0), (2000, 0)]))))
    assert a.graded_to(b) == _tolm.graded_diff(SHIFTED, b.to_json())
    assert b.graded_to(a) == _tolm.graded_diff(b.to_json(), SHIFTED)


def test_comparisons_with_itself_are_allowed():
    h = Program.from_json(SHIFTED)
    assert h.iou_to(h) == 1.0
    assert h.preserves_within(h, 0.0)
    assert json.loads(h.graded_to(h))["max_um"] == 0.0


def test_iou_of_two_empty_plans_is_none_and_caches_are_untouched():
    a = Program.from_json(program(layer(200, travel([(0, 0), (10, 0)]))))
    b = Program.from_json(program())
    assert a.iou_to(b) is None
    assert b.iou_to(a, 50) is None


@pytest.mark.parametrize(
    "call, name",
    [
        (lambda h: h.iou_to("x"), "other"),
        (lambda h: h.graded_to(None), "other"),
        (lambda h: h.preserves_within(3, 1.0), "reference"),
        (lambda h: h.preserves_within(h, "1.0"), "epsilon_um"),
        (lambda h: h.iou_to(h, resolution_um=1.5), "resolution_um"),
    ],
)
def test_comparison_argument_errors(call, name):
    with pytest.raises(TypeError) as info:
        call(Program.from_json(SHIFTED))
    assert name in str(info.value)
