"""Loading the thermography companion library and declaring its C functions.

The companion library (libkolthermo_thermography.so.1) stands beside
libkolthermo and uses nothing of it. It is found like the core library: through
the environment variable KOLTHERMO_THERMOGRAPHY_LIBRARY (a path), else as the
copy bundled in kolthermo/_lib, else by name through the system's library
search, and loaded on first use, so the rest of the package works without it.

Each function is declared the first time it is called. A library older than
the package then fails only in the functions it lacks, with an OSError naming
the function, instead of refusing to load at all.
"""

from __future__ import annotations

import ctypes
import threading
from typing import Any, Callable, Dict, Optional

from ._locate import library_location

THERMOGRAPHY_LIBRARY_ENV = "KOLTHERMO_THERMOGRAPHY_LIBRARY"
DEFAULT_THERMOGRAPHY_LIBRARY_NAME = "libkolthermo_thermography.so.1"


class ObjectParams(ctypes.Structure):
    """``KolThermoObjectParams``."""

    _fields_ = [
        ("emissivity", ctypes.c_float),
        ("reflected_c", ctypes.c_float),
        ("transmission", ctypes.c_float),
        ("atmosphere_c", ctypes.c_float),
    ]


class Region(ctypes.Structure):
    """``KolThermoRegion``."""

    _fields_ = [
        ("kind", ctypes.c_int),
        ("x", ctypes.c_int),
        ("y", ctypes.c_int),
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("end_x", ctypes.c_int),
        ("end_y", ctypes.c_int),
        ("radius", ctypes.c_int),
    ]


class Measurement(ctypes.Structure):
    """``KolThermoMeasurement``."""

    _fields_ = [
        ("region", Region),
        ("correct", ctypes.c_int),
        ("object", ObjectParams),
        ("alarm", ctypes.c_int),
        ("alarm_c", ctypes.c_float),
    ]


class Stats(ctypes.Structure):
    """``KolThermoStats``."""

    _fields_ = [
        ("min_c", ctypes.c_float),
        ("max_c", ctypes.c_float),
        ("min_x", ctypes.c_int),
        ("min_y", ctypes.c_int),
        ("max_x", ctypes.c_int),
        ("max_y", ctypes.c_int),
        ("mean_c", ctypes.c_double),
        ("stddev_c", ctypes.c_double),
        ("count", ctypes.c_int),
        ("alarm", ctypes.c_int),
    ]


class ColorOptions(ctypes.Structure):
    """``KolThermoColorOptions``."""

    _fields_ = [
        ("palette", ctypes.c_int),
        ("range", ctypes.c_int),
        ("low_c", ctypes.c_float),
        ("high_c", ctypes.c_float),
        ("isotherm", ctypes.c_int),
        ("iso_low_c", ctypes.c_float),
        ("iso_high_c", ctypes.c_float),
        ("iso_rgb", ctypes.c_ubyte * 3),
    ]


class FrameInfo(ctypes.Structure):
    """``KolThermoFrameInfo``."""

    _fields_ = [
        ("frame_id", ctypes.c_uint),
        ("time_s", ctypes.c_double),
        ("internal_c", ctypes.c_float),
        ("emissivity", ctypes.c_float),
        ("reflected_c", ctypes.c_float),
        ("transmission", ctypes.c_float),
        ("atmosphere_c", ctypes.c_float),
        ("table", ctypes.c_char_p),
    ]


_int = ctypes.c_int
_float = ctypes.c_float
_void_p = ctypes.c_void_p  # arrays go in as their data address
_char_p = ctypes.c_char_p
_int_p = ctypes.POINTER(ctypes.c_int)
_float_p = ctypes.POINTER(ctypes.c_float)

# name: (restype, argtypes)
_PROTOTYPES = {
    # Object correction
    "KolThermoObjectTemperature": (_int, [_float, ctypes.POINTER(ObjectParams), _float_p]),
    "KolThermoObjectTemperatures": (
        _int,
        [_void_p, _void_p, _int, ctypes.POINTER(ObjectParams), _int_p],
    ),
    # Measurements
    "KolThermoMeasure": (
        _int,
        [_void_p, _int, _int, ctypes.POINTER(Measurement), ctypes.POINTER(Stats)],
    ),
    "KolThermoLineProfile": (
        _int,
        [_void_p, _int, _int, ctypes.POINTER(Measurement), _void_p, _int, _int_p],
    ),
    # Palettes and the scale bar
    "KolThermoPaletteName": (_char_p, [_int]),
    "KolThermoPaletteFromName": (_int, [_char_p]),
    "KolThermoPaletteColors": (_int, [_int, _void_p]),
    "KolThermoColorize": (
        _int,
        [_void_p, _int, _int, ctypes.POINTER(ColorOptions), _void_p, _float_p, _float_p],
    ),
    "KolThermoScaleLabels": (_int, [_float, _float, _void_p, _int, _int_p]),
    "KolThermoScaleBarWidth": (_int, [_int]),
    "KolThermoDrawWithScaleBar": (
        _int,
        [_void_p, _int, _int, _int, _float, _float, _char_p, _void_p],
    ),
    # Radiometric files
    "KolThermoWriteCelsiusTiff": (
        _int,
        [_char_p, _void_p, _int, _int, ctypes.POINTER(FrameInfo)],
    ),
    "KolThermoWriteRaw16Tiff": (_int, [_char_p, _void_p, _int, _int, ctypes.POINTER(FrameInfo)]),
    "KolThermoWriteCelsiusCsv": (
        _int,
        [_char_p, _void_p, _int, _int, ctypes.POINTER(FrameInfo)],
    ),
    "KolThermoWritePicture": (_int, [_char_p, _void_p, _int, _int]),
    "KolThermoTiffRecordingOpen": (_int, [_char_p, _int, _int, ctypes.POINTER(_void_p)]),
    "KolThermoTiffRecordingOpenLimited": (
        _int,
        [_char_p, _int, _int, _int, ctypes.POINTER(_void_p)],
    ),
    "KolThermoTiffRecordingAdd": (_int, [_void_p, _void_p, ctypes.POINTER(FrameInfo)]),
    "KolThermoTiffRecordingClose": (_int, [_void_p]),
}

_lock = threading.Lock()
_library: Optional[ctypes.CDLL] = None  # guarded by _lock for the first load
_functions: Dict[str, Callable[..., Any]] = {}  # guarded by _lock; filled once per name


def thermography_library_path() -> str:
    """The path or name the companion library is loaded from."""
    return library_location(THERMOGRAPHY_LIBRARY_ENV, DEFAULT_THERMOGRAPHY_LIBRARY_NAME)


def _load() -> ctypes.CDLL:
    global _library
    if _library is None:
        path = thermography_library_path()
        try:
            _library = ctypes.CDLL(path)
        except OSError as error:
            raise OSError(
                f"cannot load the KolThermo thermography library {path!r} ({error}); "
                f"set {THERMOGRAPHY_LIBRARY_ENV} to the path of "
                f"{DEFAULT_THERMOGRAPHY_LIBRARY_NAME}"
            ) from error
    return _library


def function(name: str) -> Callable[..., Any]:
    """The companion library's C function ``name``, declared.

    Raises OSError when the library cannot be loaded or lacks the function.
    """
    declared = _functions.get(name)
    if declared is not None:
        return declared
    restype, argtypes = _PROTOTYPES[name]
    with _lock:
        lib = _load()
        try:
            c_function: Any = getattr(lib, name)
        except AttributeError:
            raise OSError(
                f"{thermography_library_path()!r} has no {name}: the library is older "
                "than this package"
            ) from None
        c_function.restype = restype
        c_function.argtypes = argtypes
        _functions[name] = c_function
    return c_function
