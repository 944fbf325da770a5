"""Loading libkolthermo and declaring the C functions the package calls.

The library is found through the environment variable KOLTHERMO_LIBRARY (a
path to the shared library), else as the copy a wheel bundles in
``kolthermo/_lib``, else as ``libkolthermo.so.1`` through the system's library
search. It is loaded on first use, so importing the package
never fails on a machine without the library.

Wide strings (``KolThermoWChar``) are 16-bit UTF-16 code units off Windows, so
the W functions take ``uint16`` pointers here.
"""

from __future__ import annotations

import ctypes
import threading

from ._locate import library_location

LIBRARY_ENV = "KOLTHERMO_LIBRARY"
DEFAULT_LIBRARY_NAME = "libkolthermo.so.1"

WCHAR_P = ctypes.POINTER(ctypes.c_uint16)
HWND = ctypes.c_void_p


class HostMessage(ctypes.Structure):
    """``KolThermoHostMessage``: one message taken from a host window."""

    _fields_ = [
        ("message", ctypes.c_uint),
        ("wparam", ctypes.c_size_t),  # uintptr_t
        ("lparam", ctypes.c_ssize_t),  # intptr_t
    ]


_c_int = ctypes.c_int
_c_uint = ctypes.c_uint
_c_float = ctypes.c_float

# name: (restype, argtypes)
_PROTOTYPES = {
    # Instances
    "KolThermo_Initialize": (_c_int, [HWND]),
    "KolThermo_Release": (_c_int, [_c_int]),
    "KolThermo_GetDllVersion": (_c_int, []),
    "KolThermo_GetLastError": (_c_int, [_c_int]),
    "KolThermo_SetWindowHandle": (_c_int, [_c_int, HWND]),
    "KolThermo_SetParam": (_c_int, [_c_int, _c_int, _c_int]),
    "KolThermo_GetParam": (_c_int, [_c_int, _c_int]),
    # Cameras
    "KolThermo_IsCameraEnableW": (_c_int, [_c_int, _c_int, WCHAR_P, _c_int]),
    "KolThermo_SetCameraNumber": (_c_int, [_c_int, _c_int]),
    # Acquisition
    "KolThermo_Preview": (_c_int, [_c_int]),
    "KolThermo_Close": (_c_int, [_c_int]),
    "KolThermo_Pause": (_c_int, [_c_int]),
    "KolThermo_Start": (_c_int, [_c_int]),
    "KolThermo_OneShot": (_c_int, [_c_int]),
    "KolThermo_Trigger": (_c_int, [_c_int]),
    "KolThermo_GetNewID": (_c_int, [_c_int]),
    # Frames
    "KolThermo_GetRaw": (_c_int, [_c_int, _c_int, ctypes.c_void_p, _c_uint]),
    "KolThermo_GetColor": (_c_int, [_c_int, _c_int, ctypes.c_void_p, _c_uint]),
    "KolThermo_GetTemperature": (_c_int, [_c_int, _c_int, ctypes.c_void_p, _c_uint]),
    # Temperature
    "KolThermo_SetTableW": (_c_int, [_c_int, WCHAR_P]),
    "KolThermo_Nuc": (_c_int, [_c_int]),
    "KolThermo_GetInternalTemperature": (_c_float, [_c_int, ctypes.POINTER(_c_int)]),
    # Files
    "KolThermo_SaveW": (_c_int, [_c_int, WCHAR_P, _c_int]),
    "KolThermo_RecW": (_c_int, [_c_int, WCHAR_P, _c_int]),
    "KolThermoHost_GetColorRGB": (_c_int, [_c_int, _c_int, ctypes.c_void_p, _c_uint]),
    # Host message window
    "KolThermoHost_CreateWindow": (HWND, []),
    "KolThermoHost_DestroyWindow": (_c_int, [HWND]),
    "KolThermoHost_WaitMessage": (_c_int, [HWND, _c_int, ctypes.POINTER(HostMessage)]),
    "KolThermoHost_GetFd": (_c_int, [HWND]),
    "KolThermoHost_PendingCount": (_c_int, [HWND]),
    "KolThermoHost_PostMessage": (_c_int, [HWND, _c_uint, ctypes.c_size_t, ctypes.c_ssize_t]),
    # Simulated cameras
    "KolThermoHost_SimAttach": (_c_int, [_c_int]),
    "KolThermoHost_SimDetach": (_c_int, [_c_int]),
    "KolThermoHost_SimUnplug": (_c_int, [_c_int]),
    "KolThermoHost_SimReplug": (_c_int, [_c_int]),
    "KolThermoHost_SimSetFault": (_c_int, [_c_int, _c_int, _c_int]),
    "KolThermoHost_SimTriggerPulse": (_c_int, [_c_int]),
    "KolThermoHost_SimSetInternalTemperature": (_c_int, [_c_int, _c_float]),
    "KolThermoHost_SimClearInternalTemperature": (_c_int, [_c_int]),
    "KolThermoHost_SimGetInternalTemperature": (_c_int, [_c_int, ctypes.POINTER(_c_float)]),
    "KolThermoHost_SimSetFrameRate": (_c_int, [_c_int, ctypes.c_double]),
    "KolThermoHost_SimSetScene": (_c_int, [_c_int, _c_int, _c_float]),
    "KolThermoHost_SimSetUniformSurface": (_c_int, [_c_int, _c_float, _c_float, _c_float]),
}

_lock = threading.Lock()
_library: ctypes.CDLL | None = None  # guarded by _lock for the first load


def library_path() -> str:
    """The path or name the library is loaded from."""
    return library_location(LIBRARY_ENV, DEFAULT_LIBRARY_NAME)


def _declare(lib: ctypes.CDLL) -> None:
    for name, (restype, argtypes) in _PROTOTYPES.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes


def library() -> ctypes.CDLL:
    """The loaded library, with every function the package uses declared.

    Raises OSError when it cannot be loaded or lacks one of the functions.
    """
    global _library
    lib = _library
    if lib is not None:
        return lib
    with _lock:
        if _library is None:
            path = library_path()
            try:
                loaded = ctypes.CDLL(path)
            except OSError as error:
                raise OSError(
                    f"cannot load the KolThermo library {path!r} ({error}); "
                    f"set {LIBRARY_ENV} to the path of libkolthermo.so.1"
                ) from error
            try:
                _declare(loaded)
            except AttributeError as error:
                raise OSError(f"{path!r} is not a complete KolThermo library: {error}") from error
            _library = loaded
        return _library


def dll_version() -> int:
    """``KolThermo_GetDllVersion``: the library's version constant."""
    return library().KolThermo_GetDllVersion()
