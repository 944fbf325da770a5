#!/usr/bin/env python3
"""Builds the wheel, installs it into a fresh virtual environment and runs an example there.

    check_wheel.py --work FOLDER -- <build_wheel.py command without --output>

The environment has the system's site packages (numpy) and nothing from the
source tree: the example runs with KOLTHERMO_LIBRARY,
KOLTHERMO_THERMOGRAPHY_LIBRARY and PYTHONPATH unset, so it passes only when
the installed package finds the libraries bundled in its wheel. pip installs
offline (no index, no dependencies). Exits non-zero on any failure.
"""

from __future__ import annotations

import argparse
import os
import pathlib
import shutil
import subprocess
import sys

EXAMPLE = """
import pathlib, sys
import numpy as np
import kolthermo
from kolthermo import thermography

package = pathlib.Path(kolthermo.__file__).parent
assert pathlib.Path(sys.prefix) in package.parents, f"not the installed package: {package}"
assert pathlib.Path(kolthermo.library_path()).parent == package / "_lib", kolthermo.library_path()
assert (package / "py.typed").is_file()
with kolthermo.Camera() as camera:
    camera.preview()
    frame = camera.wait_settled()
    assert frame.raw()[0, 0] != 0 and frame.color().shape == (camera.height, camera.width, 3)
    assert len(np.unique(frame.color().reshape(-1, 3), axis=0)) > 20
print("palettes:", ", ".join(thermography.palette_names()))
print("frame", frame.frame_id, "from", kolthermo.library_path())
"""

UNSET = ("KOLTHERMO_LIBRARY", "KOLTHERMO_THERMOGRAPHY_LIBRARY", "PYTHONPATH", "PYTHONHOME")


def run(command, **options) -> str:
    print("+", " ".join(str(part) for part in command), flush=True)
    result = subprocess.run(command, stdout=subprocess.PIPE, text=True, **options)
    print(result.stdout, end="", flush=True)
    if result.returncode != 0:
        sys.exit(f"failed ({result.returncode}): {command[0]}")
    return result.stdout


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", required=True, help="scratch folder, emptied first")
    parser.add_argument("build", nargs=argparse.REMAINDER, help="-- and the wheel build command")
    args = parser.parse_args()
    build = args.build[1:] if args.build[:1] == ["--"] else args.build
    work = pathlib.Path(args.work).resolve()
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)

    wheel = run([*build, "--output", str(work / "dist")]).strip().splitlines()[-1]
    assert "-py3-none-any" not in wheel, "the wheel must carry a platform tag"
    venv = work / "venv"
    # pip comes from the system's site packages, which the environment sees.
    run([sys.executable, "-m", "venv", "--system-site-packages", "--without-pip", str(venv)])
    python = venv / "bin" / "python"
    clean = {name: value for name, value in os.environ.items() if name not in UNSET}
    run(
        [
            python,
            "-m",
            "pip",
            "install",
            "--no-index",
            "--no-deps",
            "--disable-pip-version-check",
            "--no-cache-dir",
            wheel,
        ],
        env=clean,
    )
    run([python, "-c", EXAMPLE], env=clean, cwd=work)


if __name__ == "__main__":
    main()
