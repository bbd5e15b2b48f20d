"""Builds and runs tests/native/core_driver.cpp against the core library of the current build."""

import json
import os
import pathlib
import re
import shutil
import subprocess

import pytest

import _tolm

SOURCE = pathlib.Path(__file__).resolve().parent / "native" / "core_driver.cpp"
REPO = SOURCE.parents[2]


def find_build_tree():
    """The build tree of the imported module: beside it (a development build), or the one that
    `pip install .` left under build/ (matching a sanitized interpreter run, or not)."""
    beside = pathlib.Path(_tolm.__file__).resolve().parent
    if (beside / "libtolm_core.a").is_file():
        return beside
    sanitized = "libasan" in os.environ.get("LD_PRELOAD", "")
    for cache in sorted((REPO / "build").glob("*/CMakeCache.txt")):
        tree = cache.parent
        tree_sanitized = re.search(r"^TOLM_SANITIZE:\w+=ON$", cache.read_text(), re.M) is not None
        if (tree / "libtolm_core.a").is_file() and tree_sanitized == sanitized:
            return tree
    return None


def build_driver(out_dir):
    """Compiles the driver; skips when the build tree or a compiler is not at hand."""
    build = find_build_tree()
    if build is None:
        pytest.skip(f"no build tree with the core library for {_tolm.__file__}")
    library = build / "libtolm_core.a"
    cache = build / "CMakeCache.txt"
    compiler, flags = None, []
    if cache.is_file():
        text = cache.read_text()
        found = re.search(r"^CMAKE_CXX_COMPILER:FILEPATH=(.*)$", text, re.M)
        compiler = found.group(1) if found else None
        if re.search(r"^TOLM_SANITIZE:\w+=ON$", text, re.M):
            flags = ["-fsanitize=address,undefined", "-fno-sanitize-recover=undefined"]
    compiler = compiler or shutil.which("c++") or shutil.which("g++")
    if not compiler:
        pytest.skip("no C++ compiler")
    binary = pathlib.Path(out_dir) / "core_driver"
    subprocess.run(
        [compiler, "-std=c++23", "-O1", *flags, f"-I{REPO / 'core'}", str(SOURCE), str(library), "-lpthread",
         "-o", str(binary)],
        check=True, capture_output=True, text=True,
    )
    return binary


class Driver:
    def __init__(self, binary):
        self.binary = binary

    def __call__(self, *args, program_json=None, stdin=""):
        """Runs one command; its input is a program's JSON or whitespace-separated numbers."""
        result = subprocess.run([str(self.binary), *map(str, args)],
                                input=program_json if program_json is not None else stdin,
                                capture_output=True, text=True, check=True)
        return json.loads(result.stdout)


@pytest.fixture(scope="session")
def core_driver(tmp_path_factory):
    """Runs core operations not exposed by the module: `core_driver("deposit", 200, program_json=...)`."""
    return Driver(build_driver(tmp_path_factory.mktemp("driver")))
