"""What the scripts that render pictures for docs/images share: the build's
libraries loaded through the Python package, and one frame of temperatures of
the simulated camera's default scene."""

import os
import pathlib
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent


def use_build(build):
    """Points the Python package of this tree at the libraries of `build`."""
    os.environ["KOLTHERMO_LIBRARY"] = str(build / "libkolthermo.so.1")
    os.environ["KOLTHERMO_THERMOGRAPHY_LIBRARY"] = str(
        build / "thermography/libkolthermo_thermography.so.1")
    sys.path.insert(0, str(ROOT / "python"))


def camera_frame(build):
    """One frame of temperatures of the default scene, top row first (use_build first)."""
    import kolthermo

    with tempfile.TemporaryDirectory() as folder:
        table = pathlib.Path(folder) / "table4000.bin"
        subprocess.run([str(build / "tools/table_generator/kolthermo-table"), "--layout", "4000",
                        "--output", str(table)], check=True, stdout=subprocess.DEVNULL)
        with kolthermo.Camera() as camera:
            camera.load_table(table)
            camera.preview()
            return camera.wait_settled().temperature().copy()
