"""Radiometric files: float and raw TIFFs with metadata, CSV, pictures, recordings.

Single files appear whole or not at all, like Camera.save's; a recording is
written page by page where it is named.

Every file is written top row first: row 0 of the array is the top of the
picture. Frames of Camera.temperature() and Camera.raw() come bottom row first
unless the camera's fetch_flipped is set; np.flipud turns them over.
"""

from __future__ import annotations

import ctypes
import dataclasses
import math
import threading
import time
import weakref
from dataclasses import dataclass
from typing import Any, Callable, Optional

import numpy as np

from . import _files, _strings
from . import _thermography_library as _c
from ._parameter import int32
from ._thermography_common import DEFAULT_REFLECTED_C, check, frame, path_bytes, picture


@dataclass(frozen=True)
class FrameInfo:
    """A frame's metadata, written with its pixels.

    ``time`` is in seconds since 1970-01-01 UTC (None: when written);
    ``internal`` the sensor's internal temperature (NaN: unknown); the object
    parameters are those applied to the temperatures (emissivity 1: none; the
    atmosphere defaults to the reflected temperature); ``table`` the
    calibration table's file name. ``frame_id`` is the camera's (a C int,
    negative for half of them) or any number below 2**32: files hold it as
    32 bits without sign, as the command-line tool writes it.
    """

    frame_id: int = 0
    time: Optional[float] = None
    internal: float = math.nan
    emissivity: float = 1.0
    reflected: float = DEFAULT_REFLECTED_C
    transmission: float = 1.0
    atmosphere: Optional[float] = None
    table: Optional[str] = None


def _info(info: Optional[FrameInfo], fields: dict) -> _c.FrameInfo:
    """The C metadata of ``info`` with ``fields`` replacing some of its values.

    ctypes keeps the table name's bytes alive as long as the structure.
    """
    if info is None:
        info = FrameInfo()
    elif not isinstance(info, FrameInfo):
        raise TypeError(f"info must be a FrameInfo, not {type(info).__name__}")
    if fields:
        info = dataclasses.replace(info, **fields)
    if not -(2**31) <= int(info.frame_id) < 2**32:
        raise ValueError(f"frame_id {info.frame_id} does not fit 32 bits")
    table = None
    if info.table is not None:
        table = str(info.table).encode("utf-8", "surrogateescape")
        if b"\0" in table:
            raise ValueError("the table name contains a NUL character")
    c_info = _c.FrameInfo(
        frame_id=int(info.frame_id) & 0xFFFFFFFF,
        time_s=time.time() if info.time is None else float(info.time),
        internal_c=float(info.internal),
        emissivity=float(info.emissivity),
        reflected_c=float(info.reflected),
        transmission=float(info.transmission),
        atmosphere_c=float(info.reflected if info.atmosphere is None else info.atmosphere),
        table=table,
    )
    return c_info


def _write_file(path: Any, function: str, write: Callable[[bytes], int]) -> None:
    """Has the library write a new file beside ``path`` and renames it over
    ``path`` once complete, as Camera.save does: a failed write leaves a
    previous file as it was. A missing folder or a target that is not a
    regular file raises OSError before the library is called."""
    target = _strings.to_text(path)
    with _files.replacing(target, keep_extension=True) as temporary:
        check(write(path_bytes(temporary)), function, repr(target))


def _write_frame(
    function: str, path: Any, values: np.ndarray, info: Optional[FrameInfo], fields: dict
) -> None:
    c_info = _info(info, fields)
    height, width = values.shape
    _write_file(
        path,
        function,
        lambda name: _c.function(function)(
            name, values.ctypes.data, width, height, ctypes.byref(c_info)
        ),
    )


def write_celsius_tiff(
    path: Any, temperatures: Any, info: Optional[FrameInfo] = None, **fields: Any
) -> None:
    """A 32-bit float TIFF of temperatures in degrees Celsius, with the frame's
    metadata (``info``, or FrameInfo fields given as keywords) in its tags."""
    _write_frame("KolThermoWriteCelsiusTiff", path, frame(temperatures), info, fields)


def write_raw16_tiff(path: Any, raw: Any, info: Optional[FrameInfo] = None, **fields: Any) -> None:
    """A 16-bit TIFF of raw codes (uint16 (height, width)) with the frame's metadata."""
    values = np.asarray(raw)
    if values.dtype != np.uint16:
        raise TypeError(f"raw codes must be uint16, not {values.dtype}")
    _write_frame("KolThermoWriteRaw16Tiff", path, frame(values, "raw", np.uint16), info, fields)


def write_celsius_csv(
    path: Any, temperatures: Any, info: Optional[FrameInfo] = None, **fields: Any
) -> None:
    """Temperatures as CSV, one line per row, the metadata in leading '#' lines."""
    _write_frame("KolThermoWriteCelsiusCsv", path, frame(temperatures), info, fields)


def write_picture(path: Any, rgb: Any) -> None:
    """A uint8 (height, width, 3) R, G, B picture as PNG, BMP or JPEG, by the
    file's extension."""
    pixels = picture(rgb)
    height, width, _ = pixels.shape
    _write_file(
        path,
        "KolThermoWritePicture",
        lambda name: _c.function("KolThermoWritePicture")(name, pixels.ctypes.data, width, height),
    )


def _close_recording(handle: ctypes.c_void_p) -> None:
    _c.function("KolThermoTiffRecordingClose")(handle)


class TiffRecording:
    """A radiometric recording: a multi-page float TIFF, one page per frame.

        with TiffRecording("clip.tiff", width, height) as recording:
            recording.add(temperatures, frame_id=7, time=t)

    Every frame has the size given here. ``max_frames``, when known, bounds
    the frames added (more are refused with OUT_OF_RANGE) and lets a
    recording that fits in 4 GiB be a classic TIFF, which more tools read;
    without it the file is a BigTIFF. The file is opened at once and
    closed by close() or the end of the ``with`` block (or when the object is
    collected); a failure leaves the pages added before it readable. One
    thread at a time adds frames; close() from another thread waits for the
    add in progress.
    """

    def __init__(
        self, path: Any, width: int, height: int, max_frames: Optional[int] = None
    ) -> None:
        self.path = path
        self.width = int32(width, "width")
        self.height = int32(height, "height")
        self.frames = 0  # pages added so far; guarded by _lock
        self._lock = threading.Lock()
        handle = ctypes.c_void_p()
        name = path_bytes(path)
        if max_frames is None:
            result = _c.function("KolThermoTiffRecordingOpen")(
                name, self.width, self.height, ctypes.byref(handle)
            )
        else:
            result = _c.function("KolThermoTiffRecordingOpenLimited")(
                name, self.width, self.height, int32(max_frames, "max_frames"), ctypes.byref(handle)
            )
        check(result, "KolThermoTiffRecordingOpen", repr(str(path)))
        self._handle: Optional[ctypes.c_void_p] = handle  # guarded by _lock; None once closed
        self._finalizer = weakref.finalize(self, _close_recording, handle)

    def add(self, temperatures: Any, info: Optional[FrameInfo] = None, **fields: Any) -> None:
        """Appends one frame (float (height, width), top row first) as a page."""
        values = frame(temperatures)
        if values.shape != (self.height, self.width):
            raise ValueError(
                f"frame of {values.shape[1]} x {values.shape[0]} in a recording of "
                f"{self.width} x {self.height}"
            )
        c_info = _info(info, fields)
        with self._lock:
            if self._handle is None:
                raise ValueError("the recording is closed")
            check(
                _c.function("KolThermoTiffRecordingAdd")(
                    self._handle, values.ctypes.data, ctypes.byref(c_info)
                ),
                "KolThermoTiffRecordingAdd",
                f"page {self.frames + 1} of {str(self.path)!r}",
            )
            self.frames += 1

    def close(self) -> None:
        """Finishes the file. Safe to call again; raises when the file cannot be completed."""
        with self._lock:
            if self._handle is None:
                return
            handle, self._handle = self._handle, None
            self._finalizer.detach()
            check(_c.function("KolThermoTiffRecordingClose")(handle), "KolThermoTiffRecordingClose")

    @property
    def closed(self) -> bool:
        return self._handle is None

    def __enter__(self) -> "TiffRecording":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        size = f"{self.width}x{self.height}"
        return f"<TiffRecording {str(self.path)!r} {size} {self.frames} frames {state}>"
