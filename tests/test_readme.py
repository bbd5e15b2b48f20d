"""The README's Python tour runs as written."""

import contextlib
import io
import pathlib
import re

README = pathlib.Path(__file__).resolve().parents[1] / "README.md"


def python_blocks():
    return re.findall(r"```python\n(.*?)```", README.read_text(), re.S)


def test_readme_has_a_tour():
    assert len(python_blocks()) >= 3


def test_tour_blocks_run_in_order():
    namespace = {"__name__": "readme"}
    output = io.StringIO()
    with contextlib.redirect_stdout(output):
        for block in python_blocks():
            exec(compile(block, str(README), "exec"), namespace)
    text = output.getvalue()
    assert "legal actions" in text and "occupancy_preserved" in text
