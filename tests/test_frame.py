"""The module frame: published names, signatures, argument binding and conversion rules."""

import inspect
import re
import subprocess
import sys
import textwrap

import pytest

import _tolm

# The published table: name -> text signature ("" for the class).
PUBLISHED = [
    ("program_to_gcode", "(hi_program_json)"),
    ("lower_to_json", "(hi_program_json)"),
    ("check_self_lowering_sound", "(hi_program_json, resolution_um=200)"),
    ("demo_square_json", "()"),
    ("parse_gcode", "(gcode)"),
    ("verify_gcode", "(gcode, resolution_um=200)"),
    ("verify_roundtrip", "(lo_program_json, resolution_um=200)"),
    ("diff_gcode", "(a, b, resolution_um=200)"),
    ("diff_programs", "(a_json, b_json, resolution_um=200)"),
    ("graded_diff", "(a_json, b_json, resolution_um=200)"),
    ("graded_diff_gcode", "(a, b, resolution_um=200)"),
    ("rotate_z", "(lo_program_json, radians)"),
    ("voxelize", "(lo_program_json, resolution_um=200, layer_height_um=None)"),
    ("rot_x90", "(voxels_json)"),
    ("rot_y90", "(voxels_json)"),
    ("rot_z90", "(voxels_json)"),
    ("rotate_bounds", "(voxels_json, radians, axis_x=True)"),
    ("compare_rotated", "(a_voxels_json, b_voxels_json, radians, axis_x=True)"),
    ("occupancy", "(program_json, resolution_um=200)"),
    ("program_stats", "(program_json)"),
    ("deposit_stats", "(program_json, resolution_um=200)"),
    ("travel_collisions", "(program_json, resolution_um=200)"),
    ("volume_stats", "(program_json, resolution_um=200, layer_height_um=None)"),
    ("denote_flow", "(program_json, resolution_um=200)"),
    ("flow_stats", "(program_json)"),
    ("e_conserved", "(a_json, b_json, tolerance_mm=1e-06)"),
    ("legal_actions", "(program_json)"),
    ("apply_action", "(program_json, action_json)"),
    ("print_time", "(program_json, profile_json=None)"),
    ("is_printable", "(program_json, profile_json=None, resolution_um=200)"),
    ("default_machine_profile", "()"),
    ("preserves_within", "(a_json, b_json, epsilon_um, resolution_um=200)"),
    ("verify_batch", "(candidates_json, reference_json, resolution_um=200)"),
    ("canonical_hash", "(program_json)"),
    ("material_fingerprint", "(program_json, resolution_um=200)"),
    ("feature_matrix", "(program_json)"),
    ("occupancy_grid", "(program_json, layer, resolution_um=200)"),
    ("travel_graph", "(program_json)"),
    ("feature_columns", "()"),
    ("export_versioned", "(lo_program_json)"),
    ("import_versioned", "(versioned_json)"),
    ("Program", ""),
    ("demo_square_gcode", "(side_mm=20.0, z_mm=0.2)"),
    ("demo_self_lowering_sound", "(side_mm=20.0, z_mm=0.2, resolution_um=200)"),
    ("demo_travel_order", "(resolution_um=200)"),
    ("version", "()"),
]
PUBLISHED_NAMES = [name for name, _ in PUBLISHED]
FUNCTIONS = [(name, sig) for name, sig in PUBLISHED if sig]
LOW_LEVEL_PREFIX = (
    "expected a LOW-LEVEL program JSON (layers of toolpaths, e.g. from lower_to_json() or "
    "parse_gcode()); "
)
EMPTY = '{"layers": []}'


def test_all_lists_published_names_in_table_order():
    present = [name for name in PUBLISHED_NAMES if name in _tolm.__all__]
    assert _tolm.__all__ == present
    for name in _tolm.__all__:
        assert hasattr(_tolm, name)
    assert _tolm.__doc__ == ""
    assert _tolm.__name__ == "_tolm"


@pytest.mark.parametrize("name, signature", FUNCTIONS, ids=[n for n, _ in FUNCTIONS])
def test_function_signature_module_and_doc(name, signature):
    function = getattr(_tolm, name, None)
    if function is None:
        pytest.skip(f"{name} is not built yet")
    assert function.__module__ == "_tolm"
    assert function.__text_signature__ == signature
    assert str(inspect.signature(function)) == signature
    # The documentation proper follows the signature lines and is not empty.
    assert function.__doc__ and not function.__doc__.startswith(name + "(")


def test_version():
    assert _tolm.version() == "0.10.0"


@pytest.mark.parametrize(
    "call",
    [
        lambda: _tolm.version(1),
        lambda: _tolm.version(x=1),
        lambda: _tolm.version(None),
    ],
)
def test_functions_without_parameters_take_no_arguments(call):
    with pytest.raises(TypeError, match=r"version\(\) takes no"):
        call()


class TestBinding:
    def test_positional_and_keyword_forms_agree(self):
        expected = _tolm.occupancy(EMPTY, 100)
        assert _tolm.occupancy(EMPTY, resolution_um=100) == expected
        assert _tolm.occupancy(program_json=EMPTY, resolution_um=100) == expected
        assert _tolm.occupancy(resolution_um=100, program_json=EMPTY) == expected

    @pytest.mark.parametrize(
        "args, kwargs, message",
        [
            ((EMPTY, 1, 2), {}, r"^occupancy\(\) takes at most 2 arguments \(3 given\)$"),
            ((EMPTY,), {"resolution": 1},
             r"^occupancy\(\) got an unexpected keyword argument 'resolution'$"),
            ((EMPTY,), {"program_json": EMPTY},
             r"^argument for occupancy\(\) given by name \('program_json'\) and position \(1\)$"),
            ((), {"resolution_um": 1},
             r"^occupancy\(\) missing required argument 'program_json' \(pos 1\)$"),
            ((), {}, r"^occupancy\(\) missing required argument 'program_json' \(pos 1\)$"),
        ],
    )
    def test_binding_errors_name_function_and_parameter(self, args, kwargs, message):
        with pytest.raises(TypeError, match=message):
            _tolm.occupancy(*args, **kwargs)


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class TestConversion:
    @pytest.mark.parametrize("value, used", [(True, 1), (Index(300), 300), (7, 7)])
    def test_int_accepts_bool_and_index_objects(self, value, used):
        assert _tolm.occupancy(EMPTY, value) == _tolm.occupancy(EMPTY, used)

    @pytest.mark.parametrize("value", ["200", None, 200.0, b"200", [200]])
    def test_int_refuses_other_types(self, value):
        with pytest.raises(TypeError, match="'resolution_um' must be int"):
            _tolm.occupancy(EMPTY, resolution_um=value)

    @pytest.mark.parametrize("value", [2**63, -(2**63) - 1, 2**70])
    def test_int_overflow_passes_through(self, value):
        with pytest.raises(OverflowError):
            _tolm.occupancy(EMPTY, value)

    @pytest.mark.parametrize("value", [-1, 2**64])
    def test_unsigned_overflow(self, value):
        with pytest.raises(OverflowError):
            _tolm.occupancy_grid(EMPTY, value)

    def test_unsigned_accepts_index_objects(self):
        with pytest.raises(ValueError, match="^layer index out of range$"):
            _tolm.occupancy_grid(EMPTY, Index(3))

    @pytest.mark.parametrize("value", [3.0, "0", None])
    def test_unsigned_refuses_other_types(self, value):
        with pytest.raises(TypeError, match="'layer' must be int"):
            _tolm.occupancy_grid(EMPTY, value)

    @pytest.mark.parametrize("value", [None, 5, b"{}", {"layers": []}])
    def test_str_refuses_other_types(self, value):
        with pytest.raises(TypeError, match="'program_json' must be str"):
            _tolm.occupancy(value)

    def test_str_subclass_is_accepted(self):
        class Text(str):
            pass

        assert _tolm.occupancy(Text(EMPTY)) == _tolm.occupancy(EMPTY)

    def test_lone_surrogate_raises_encoding_error(self):
        with pytest.raises(UnicodeEncodeError):
            _tolm.occupancy('{"layers": [], "x": "\ud800"}')

    def test_conversion_failure_stops_before_json_is_read(self):
        with pytest.raises(TypeError):
            _tolm.occupancy("not json", resolution_um="x")

    def test_float_parameters(self):
        if not hasattr(_tolm, "demo_square_gcode"):
            pytest.skip("demo_square_gcode is not built yet")
        assert _tolm.demo_square_gcode(side_mm=10) == _tolm.demo_square_gcode(10.0)
        with pytest.raises(TypeError, match="'side_mm' must be float"):
            _tolm.demo_square_gcode("10")

    def test_bool_parameters_refuse_int(self):
        if not hasattr(_tolm, "rotate_bounds"):
            pytest.skip("rotate_bounds is not built yet")
        with pytest.raises(TypeError, match="'axis_x' must be bool"):
            _tolm.rotate_bounds("[]", 0.5, axis_x=1)
        assert _tolm.rotate_bounds("[]", 0.5, axis_x=False) == ("[]", "[]")
        numpy = pytest.importorskip("numpy")
        assert _tolm.rotate_bounds("[]", 0.5, axis_x=numpy.bool_(True)) == ("[]", "[]")

    def test_list_of_str_refuses_a_str(self):
        if not hasattr(_tolm, "verify_batch"):
            pytest.skip("verify_batch is not built yet")
        with pytest.raises(TypeError, match="candidates_json"):
            _tolm.verify_batch("abc", EMPTY)
        with pytest.raises(TypeError, match="candidates_json"):
            _tolm.verify_batch([EMPTY, 5], EMPTY)
        assert _tolm.verify_batch((EMPTY,), EMPTY) == [True]


def test_internal_error_type_is_a_base_exception():
    assert issubclass(_tolm.InternalError, BaseException)
    assert not issubclass(_tolm.InternalError, Exception)
    assert "InternalError" not in _tolm.__all__


def test_json_results_are_pretty_printed():
    text = _tolm.occupancy(
        '{"layers": [{"z_um": 0, "toolpaths": [{"kind": {"Extrude": "Skin"}, '
        '"path": {"points": [[0, 0], [400, 0]]}, "width_um": 0}]}]}'
    )
    assert text.endswith("}") and "\t" not in text and not text.endswith("\n")
    for line in text.splitlines():
        indent = len(line) - len(line.lstrip(" "))
        assert indent % 2 == 0


def test_reimport_in_same_interpreter_returns_the_module():
    code = """
        import sys, _tolm
        first = _tolm
        del sys.modules["_tolm"]
        import _tolm
        assert _tolm is first
        print("same")
    """
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)],
                            capture_output=True, text=True, timeout=120)
    assert result.stdout.strip() == "same", result.stderr


def test_second_interpreter_is_refused():
    interpreters = pytest.importorskip("_xxsubinterpreters")
    code = """
        import _xxsubinterpreters as interpreters
        import _tolm
        interp = interpreters.create()
        try:
            interpreters.run_string(interp, "import _tolm")
        except interpreters.RunFailedError as error:
            print("refused:", error)
        else:
            print("loaded")
    """
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)],
                            capture_output=True, text=True, timeout=120)
    assert interpreters is not None
    assert result.stdout.startswith("refused:"), result.stdout + result.stderr
    assert "ImportError" in result.stdout and "one interpreter" in result.stdout


def test_read_error_prefix_and_position():
    with pytest.raises(ValueError) as raised:
        _tolm.occupancy('{"layers": [\n  {"z_um": 1, "toolpaths": 3}\n]}')
    message = str(raised.value)
    assert message.startswith(LOW_LEVEL_PREFIX)
    assert re.search(r"at line 2 column 28$", message), message
