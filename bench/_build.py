"""Builds the C++ benchmark programs under bench/ (Release) and returns their paths."""

import pathlib
import subprocess

ROOT = pathlib.Path(__file__).resolve().parents[1]
BUILD = ROOT / "build" / "bench"


def program(name: str) -> pathlib.Path:
    subprocess.run(
        ["cmake", "-S", str(ROOT), "-B", str(BUILD), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
         "-DTOLM_BUILD_BENCH=ON"],
        check=True, stdout=subprocess.DEVNULL,
    )
    subprocess.run(["cmake", "--build", str(BUILD), "--target", name], check=True,
                   stdout=subprocess.DEVNULL)
    return BUILD / name
