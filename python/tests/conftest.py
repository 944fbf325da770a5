"""Fixtures: the library under test, a C-level handle on it, cameras and the simulator."""

from __future__ import annotations

import ctypes
import os

import numpy as np
import pytest

import kolthermo
from kolthermo import sim

WIDTH, HEIGHT = 384, 288

# Every wait limit of the tests is written for a quiet native run and stretched
# by the run's time scale, which slow runs raise (KOLTHERMO_TEST_TIME_SCALE).
TIME_SCALE = max(1.0, float(os.environ.get("KOLTHERMO_TEST_TIME_SCALE", "1") or 1))


def limit(seconds: float) -> float:
    """A wait limit of `seconds` on this run's time scale."""
    return seconds * TIME_SCALE


@pytest.fixture(scope="session")
def c_lib():
    """The same library loaded separately, with prototypes declared here, so that
    the package's results can be checked against the C functions directly."""
    lib = ctypes.CDLL(kolthermo.library_path())
    c_int, c_uint, c_void_p = ctypes.c_int, ctypes.c_uint, ctypes.c_void_p
    for name in ("KolThermo_GetRaw", "KolThermo_GetColor", "KolThermo_GetTemperature"):
        function = getattr(lib, name)
        function.argtypes = [c_int, c_int, c_void_p, c_uint]
        function.restype = c_int
    lib.KolThermo_GetParam.argtypes = [c_int, c_int]
    lib.KolThermo_GetParam.restype = c_int
    lib.KolThermo_GetLastError.argtypes = [c_int]
    lib.KolThermo_GetLastError.restype = c_int
    lib.KolThermoHost_GetFd.argtypes = [c_void_p]
    lib.KolThermoHost_GetFd.restype = c_int
    return lib


def c_fetch(c_lib, function: str, instance_id: int, frame_id: int, nbytes: int) -> bytes:
    buffer = ctypes.create_string_buffer(nbytes)
    assert getattr(c_lib, function)(instance_id, frame_id, buffer, nbytes) == 1
    return buffer.raw


@pytest.fixture(autouse=True)
def simulator_restored():
    """Every test leaves the process-wide simulator as it found it: slot 0 only,
    default scene and rate, no faults."""
    yield
    for slot in range(1, 8):
        try:
            sim.detach(slot)
        except ValueError:
            pass
    sim.attach(0)
    for fault in sim.Fault:
        if fault != sim.Fault.UNPLUG_AFTER_REQUESTS:  # 0 would unplug at once
            sim.set_fault(0, fault, 0)
    sim.set_scene(0, sim.Scene.DEFAULT)
    sim.set_frame_rate(0, sim.DEFAULT_FRAME_RATE)
    sim.clear_internal_temperature(0)


@pytest.fixture
def camera():
    with kolthermo.Camera() as cam:
        cam.nuc_hold_ms = 0  # no frames held back after table loads
        yield cam


@pytest.fixture(scope="module")
def streaming():
    """One previewing camera shared by a module: starting preview takes a while."""
    with kolthermo.Camera() as cam:
        cam.nuc_hold_ms = 0
        cam.preview()
        cam.wait_frame(limit(5.0))
        yield cam


def write_direct_table(path, temperature_of_code) -> None:
    """A version 1000 table: point m is the temperature of raw code m, for all 16384 codes."""
    codes = np.arange(16384, dtype=np.int32)
    points = np.zeros(16384, dtype=[("raw", "<i4"), ("celsius", "<f4")])
    points["raw"] = codes
    points["celsius"] = temperature_of_code(codes).astype(np.float32)
    with open(path, "wb") as file:
        file.write(b"KOLVEN THERMO TABLE 1000")
        file.write(np.int32(16384).tobytes())
        file.write(points.tobytes())
