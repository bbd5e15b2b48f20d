"""The `tolm` command line, driven as a user would: in a subprocess."""

import json
import os
import pathlib
import struct
import subprocess
import sys

import pytest

import _tolm
from conftest import CORPUS_DIR, require_corpus


def run(*args, stdin=None, extra_code=None):
    """Runs `tolm ARGS` with this interpreter; returns the completed process."""
    if extra_code:
        command = [sys.executable, "-c",
                   f"{extra_code}\nimport sys\nfrom tolm.cli import main\nsys.exit(main(sys.argv[1:]))",
                   *args]
    else:
        command = [sys.executable, "-m", "tolm", *args]
    return subprocess.run(command, capture_output=True, text=True, timeout=600, input=stdin,
                          env={**os.environ, "NO_COLOR": "1"})


def corpus_path(name):
    require_corpus()
    return str(CORPUS_DIR / name)


def test_no_arguments_checks_the_bundled_sample():
    result = run()
    assert result.returncode == 0, result.stderr
    assert "sample print" in result.stdout
    assert "10 layers" in result.stdout
    assert "printable     yes" in result.stdout
    assert "Traceback" not in result.stderr


def test_a_file_name_alone_means_check():
    path = corpus_path("cura-xyz-calibration-cube.gcode")
    assert run(path).stdout == run("check", path).stdout
    assert "cura-xyz-calibration-cube.gcode" in run(path).stdout


def test_json_output_agrees_with_the_module():
    path = corpus_path("prusaslicer-plant-sign.gcode")
    result = run("check", "--json", path)
    reports = json.loads(result.stdout)
    assert len(reports) == 1
    report = reports[0]
    text = pathlib.Path(path).read_text()
    program_json, diagnostics_json = _tolm.parse_gcode(text)
    diagnostics = json.loads(diagnostics_json)
    assert report["parse"]["layers"] == diagnostics["layers"]
    assert report["parse"]["unknown_roles"] == diagnostics["unknown_roles"]
    assert report["print_time"]["total_s"] == json.loads(_tolm.print_time(program_json))["total_s"]
    assert report["printability"] == json.loads(_tolm.is_printable(program_json))
    assert report["verification"]["pass_preserves_denotation"] is True
    # Reordering by nearest neighbour never lengthens this print's travel.
    order = report["travel_order"]
    assert order["travel_after_mm"] <= order["travel_before_mm"]
    # Exit status: 1 because real slicer travels cross deposited material.
    assert result.returncode == (0 if report["printable"] and report["verified"] else 1)


def test_travel_saving_matches_the_pass_on_the_demo_layer():
    from tolm.travel import travel_after_ordering_um

    # The layer of the travel-order demonstration: five short fills, out of order.
    fills = [0, 8000, 2000, 6000, 4000]
    regions = [{"kind": "Infill", "boundary": {"outer": {"points": []}, "holes": []},
                "fills": [{"path": {"points": [{"x": x, "y": 0}, {"x": x + 100, "y": 0}]},
                           "width_um": 400} for x in fills]}]
    program = json.loads(_tolm.lower_to_json(json.dumps({"layers": [{"z_um": 200,
                                                                     "regions": regions}]})))
    sound, before_mm, after_mm = _tolm.demo_travel_order()
    assert json.loads(_tolm.program_stats(json.dumps(program)))["travel_distance_um"] == 20000.0
    assert travel_after_ordering_um(program) / 1000 == pytest.approx(after_mm)


@pytest.mark.parametrize(
    "make_path, message",
    [
        (lambda tmp: str(tmp / "missing.gcode"), "no such file"),
        (lambda tmp: str(tmp), "is a directory"),
    ],
)
def test_unreadable_inputs_are_one_line_errors(tmp_path, make_path, message):
    result = run("check", make_path(tmp_path))
    assert result.returncode == 2
    lines = result.stderr.strip().splitlines()
    assert len(lines) == 1 and message in lines[0] and lines[0].startswith("tolm: ")


@pytest.mark.parametrize(
    "content",
    [b"", b"hello, this is a note and not G-code\n", bytes(range(256)) * 4],
    ids=["empty", "text", "binary"],
)
def test_files_without_moves_are_reported_not_printable(tmp_path, content):
    path = tmp_path / "input.gcode"
    path.write_bytes(content)
    result = run("check", str(path))
    assert result.returncode == 1
    assert "nothing to print" in result.stdout
    assert "Traceback" not in result.stderr


@pytest.mark.parametrize(
    "args",
    [["check", "--resolution-um", "fine"], ["--frobnicate"], ["render", "x.gcode"],
     ["diff", "only-one"]],
)
def test_usage_errors_exit_2(args):
    result = run(*args)
    assert result.returncode == 2
    assert "usage:" in result.stderr


def test_bad_profile_is_a_usage_error(tmp_path):
    profile = tmp_path / "profile.json"
    profile.write_text("{}")
    result = run("check", "--profile", str(profile))
    assert result.returncode == 2
    assert result.stderr.startswith("tolm: invalid MachineProfile JSON; missing field")


def test_profile_changes_the_print_time(tmp_path):
    profile = json.loads(_tolm.default_machine_profile())
    profile["max_print_speed_mm_s"] = 30.0
    path = tmp_path / "slow.json"
    path.write_text(json.dumps(profile))
    fast = json.loads(run("check", "--json").stdout)[0]["print_time"]["total_s"]
    slow = json.loads(run("check", "--json", "--profile", str(path)).stdout)[0]
    assert slow["print_time"]["total_s"] > fast


class TestDiff:
    def test_a_file_against_its_own_program_json(self, tmp_path):
        path = corpus_path("cura-xyz-calibration-cube.gcode")
        program_json = _tolm.parse_gcode(pathlib.Path(path).read_text())[0]
        json_path = tmp_path / "program.json"
        json_path.write_text(program_json)
        result = run("diff", "--json", path, str(json_path))
        assert result.returncode == 0, result.stderr
        report = json.loads(result.stdout)
        assert report["iou"]["identical"] is True and report["iou"]["iou"] == 1.0
        assert report["graded"]["max_um"] == 0.0
        assert report["worst_layers"] == []

    def test_two_prints_list_their_worst_layers(self):
        a = corpus_path("cura-xyz-calibration-cube.gcode")
        b = corpus_path("simplify3d-xyz-calibration-cube.gcode")
        result = run("diff", a, b, "--worst", "3")
        assert result.returncode == 0, result.stderr
        assert "material differs" in result.stdout
        assert "worst layers" in result.stdout
        rows = result.stdout.split("worst layers")[1].strip().splitlines()[1:]
        assert len(rows) == 3


def png_size(path):
    data = pathlib.Path(path).read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">II", data[16:24])


class TestRender:
    def test_png_of_the_requested_size(self, tmp_path):
        pytest.importorskip("matplotlib")
        out = tmp_path / "layer.png"
        result = run("render", corpus_path("prusaslicer-plant-sign.gcode"), "--layer", "3",
                     "-o", str(out), "--size", "640x480")
        assert result.returncode == 0, result.stderr
        assert png_size(out) == (640, 480)

    def test_layer_out_of_range(self, tmp_path):
        pytest.importorskip("matplotlib")
        result = run("render", corpus_path("prusaslicer-plant-sign.gcode"), "--layer", "999",
                     "-o", str(tmp_path / "x.png"))
        assert result.returncode == 2
        assert "out of range" in result.stderr

    def test_clear_message_without_matplotlib(self, tmp_path):
        result = run("render", "whatever.gcode", "--layer", "0", "-o", str(tmp_path / "x.png"),
                     extra_code="import sys; sys.modules['matplotlib'] = None")
        assert result.returncode == 2
        assert "pip install 'tolm[plot]'" in result.stderr
        assert "Traceback" not in result.stderr
