"""Every python example of the package's README runs as written."""

from __future__ import annotations

import os
import pathlib
import re
import subprocess
import sys

import numpy as np
import pytest
from PIL import Image

import kolthermo
from conftest import limit

README = pathlib.Path(__file__).resolve().parents[1] / "README.md"
EXAMPLES = re.findall(r"^```python\n(.*?)^```", README.read_text(encoding="utf-8"), re.S | re.M)


def test_the_readme_has_examples():
    assert len(EXAMPLES) >= 2


@pytest.mark.parametrize("number", range(len(EXAMPLES)))
def test_readme_example_runs_and_its_pictures_show_the_scene(number, tmp_path):
    table_tool = os.environ["KOLTHERMO_TABLE_TOOL"]
    table = tmp_path / "table4000.bin"
    subprocess.run([table_tool, "--layout", "4000", "--output", str(table)], check=True)
    source = tmp_path / f"example{number}.py"
    source.write_text(EXAMPLES[number], encoding="utf-8")
    # Each runs in an interpreter of its own (the simulator is process-wide),
    # importing the package under test from wherever this one came.
    package_root = str(pathlib.Path(kolthermo.__file__).resolve().parents[1])
    path = os.pathsep.join(filter(None, [package_root, os.environ.get("PYTHONPATH")]))
    result = subprocess.run(
        [sys.executable, str(source)],
        cwd=tmp_path,
        env={**os.environ, "PYTHONPATH": path},
        capture_output=True,
        text=True,
        timeout=limit(60.0),
    )
    assert result.returncode == 0, result.stderr
    pictures = sorted(tmp_path.glob("*.png"))
    for picture in pictures:
        with Image.open(picture) as image:
            pixels = np.asarray(image.convert("RGB")).reshape(-1, 3)
        # A picture saved before the camera settled is one colour (all white).
        assert len(np.unique(pixels, axis=0)) > 20, picture.name
