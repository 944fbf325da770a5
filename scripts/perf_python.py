#!/usr/bin/env python3
"""Times the Python package's frame calls against the C calls they wrap.

For camera.raw(), camera.color() and camera.temperature() on a paused
simulated camera (the same frame every call), the script times the Python
call and the C function it wraps, called through ctypes on a separate handle
of the same library with one preallocated buffer of the same size. The two
are called in turn, so a busy spell on the machine lands on both; each figure
is the median of --repeats calls timed with time.perf_counter_ns. The Python
figure includes everything the package adds: the array it allocates, the
argument checks, the code check and the call. Writes JSON to stdout.

    scripts/perf_python.py --build build/perf --repeats 1000 > results/python.json
"""

from __future__ import annotations

import argparse
import ctypes
import json
import os
import pathlib
import platform
import statistics
import sys
import tempfile
import time

import numpy as np

ROOT = pathlib.Path(__file__).resolve().parents[1]
TARGET_RATIO = 1.5

# (Python call, the C function it wraps, its buffer's dtype and shape per pixel)
CALLS = [
    ("camera.raw()", "raw", "KolThermo_GetRaw", np.uint16, ()),
    ("camera.color()", "color", "KolThermoHost_GetColorRGB", np.uint8, (3,)),
    ("camera.temperature()", "temperature", "KolThermo_GetTemperature", np.float32, ()),
]


def write_direct_table(path: pathlib.Path) -> None:
    """A calibration table whose point m is raw code m at m / 100 - 40 degrees."""
    codes = np.arange(16384, dtype=np.int32)
    points = np.zeros(16384, dtype=[("raw", "<i4"), ("celsius", "<f4")])
    points["raw"] = codes
    points["celsius"] = (codes * 0.01 - 40.0).astype(np.float32)
    path.write_bytes(b"KOLVEN THERMO TABLE 1000" + np.int32(16384).tobytes() + points.tobytes())


def median_us(samples_ns) -> float:
    return statistics.median(samples_ns) / 1000.0


def measure(camera, c_lib, frame_id: int, repeats: int):
    rows = []
    for python_name, method_name, c_name, dtype, pixel in CALLS:
        method = getattr(camera, method_name)
        c_function = getattr(c_lib, c_name)
        c_function.argtypes = [ctypes.c_int, ctypes.c_int, ctypes.c_void_p, ctypes.c_uint]
        c_function.restype = ctypes.c_int
        buffer = np.empty((camera.height, camera.width) + pixel, dtype=dtype)
        address, size, instance = buffer.ctypes.data, buffer.nbytes, camera.id
        np.testing.assert_array_equal(method(frame_id), buffer if c_function(
            instance, frame_id, address, size) == 1 else None)
        python_ns, c_ns = [], []
        clock = time.perf_counter_ns
        for _ in range(repeats):
            start = clock()
            method(frame_id)
            middle = clock()
            c_function(instance, frame_id, address, size)
            end = clock()
            python_ns.append(middle - start)
            c_ns.append(end - middle)
        python_us, c_us = median_us(python_ns), median_us(c_ns)
        rows.append({"call": python_name, "wraps": c_name, "python_us": python_us,
                     "c_us": c_us, "ratio": python_us / c_us, "target_ratio": TARGET_RATIO})
    return rows


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build/perf"))
    parser.add_argument("--repeats", type=int, default=1000)
    args = parser.parse_args()
    library = pathlib.Path(args.build).resolve() / "libkolthermo.so.1"
    os.environ["KOLTHERMO_LIBRARY"] = str(library)
    sys.path.insert(0, str(ROOT / "python"))
    import kolthermo  # noqa: E402 (the library path is chosen first)

    c_lib = ctypes.CDLL(str(library))  # the same library: one copy in the process
    with tempfile.TemporaryDirectory() as folder, kolthermo.Camera() as camera:
        table = pathlib.Path(folder) / "direct1000.bin"
        write_direct_table(table)
        camera.load_table(table)
        camera.preview()
        frame = camera.wait_settled()
        camera.pause()  # the frame stays in the ring for every call
        rows = measure(camera, c_lib, frame.frame_id, args.repeats)
    json.dump({"repeats": args.repeats, "python": platform.python_version(),
               "numpy_version": np.__version__, "library": str(library), "calls": rows},
              sys.stdout, indent=2)
    print()


if __name__ == "__main__":
    main()
