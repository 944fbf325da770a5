"""The Camera class: one library instance, its frames, parameters and files."""

from __future__ import annotations

import ctypes
import time
import weakref
from typing import Any, AsyncGenerator, Callable, Iterator, List, Optional, Union

import numpy as np

from . import _files, _strings
from ._correction import correct_in_place
from ._header_enum import member_or_int
from ._library import library
from ._parameter import Parameter, flag, int32
from ._thermography_common import optional_object_params
from .constants import Param, RecordingMode, recording_mode_number, save_format_number
from .enumeration import CameraInfo, list_cameras
from .errors import CameraClosedError, EventCode, KolThermoError
from .frame import Frame
from .host import FrameReady, HostWindow, Message
from .recording import Recording

_CODE_DRAIN_LIMIT = 100000  # never loop for ever on a misbehaving library
_POLL_S = 0.01
_INT32_MIN, _INT32_MAX = -(2**31), 2**31 - 1
# Frames published after a NUC hold before the picture counts as settled: the
# first is coloured with the window of the frames before the hold, and the
# automatic window follows the scene from each frame to the next.
_SETTLE_FRAMES = 2
_ROW_ORDERS = {"top": 1, "bottom": 0}
_NO_OBJECT = (None, None, None, None)  # temperature() without object parameters
_C_CHAR, _byref = ctypes.c_char, ctypes.byref
_UINT8, _UINT16, _FLOAT32 = np.dtype(np.uint8), np.dtype(np.uint16), np.dtype(np.float32)

FrameId = Union[int, str, None]


def _stride(width: int, bytes_per_pixel: int) -> int:
    """Row stride of the library's surfaces: rows padded to a multiple of 4 bytes."""
    return (width * bytes_per_pixel + 3) & ~3


def _release_instance(lib: ctypes.CDLL, instance_id: int, window: Optional[HostWindow]) -> None:
    # Release first so the library posts nothing more, then free the window.
    lib.KolThermo_Release(instance_id)
    if window is not None:
        window.close()


class Camera:
    """One camera instance of the library.

    ``Camera(slot)`` creates nothing yet: ``open()`` or ``with`` creates the
    library instance (``KolThermo_Initialize``) and ``close()`` or the end of
    the ``with`` block releases it (``KolThermo_Release``, which also stops
    acquisition and any recording). Closing twice is harmless; an instance
    still open when the Camera is collected or the interpreter exits is
    released then.

    ``window``: True (default) gives the camera a host message window of its
    own, needed for ``events()`` and ``wait_frame()``; a HostWindow shares one
    the caller owns; None posts no messages.

    ``rows``: "top" (default) hands out arrays top row first, as numpy,
    OpenCV and image files take them; "bottom" keeps the library's stored
    order, bottom row first. ``open()`` sets the library's fetch row-order
    parameter accordingly (``fetch_flipped``), so either way the C functions
    copy the rows in that order and nothing is reversed in Python.

    Failed calls raise KolThermoError with the event code the library queued.
    Codes queued by the capture thread between calls are kept aside and
    handed out by ``take_codes()``. A Camera is meant for one thread at a time.
    """

    def __init__(
        self,
        slot: int = 0,
        *,
        window: Union[HostWindow, bool, None] = True,
        rows: str = "top",
    ) -> None:
        if rows not in _ROW_ORDERS:
            raise ValueError(f"rows must be 'top' or 'bottom', not {rows!r}")
        self.slot = int32(slot, "slot")
        self.rows = rows
        self._window_choice = window
        self._lib: Optional[ctypes.CDLL] = None
        self._id = 0
        self._window: Optional[HostWindow] = None
        self._finalizer: Optional[weakref.finalize] = None
        self._backlog: List[int] = []  # EventCode members (or ints), newest first
        self._width = 0  # from the library when opened
        self._height = 0
        self._hold_from = 0.0  # time.monotonic() of the last call that started a NUC hold
        # The frame fetches, looked up once per open rather than per call.
        self._get_raw: Any = None
        self._get_color_rgb: Any = None
        self._get_temperature: Any = None
        self._get_last_error: Any = None

    # ---- lifetime -----------------------------------------------------------

    def open(self) -> "Camera":
        """Creates the library instance and selects the camera slot."""
        if self.is_open:
            return self
        lib = library()
        owned: Optional[HostWindow] = None
        if self._window_choice is True:
            owned = HostWindow()
            window: Optional[HostWindow] = owned
        elif isinstance(self._window_choice, HostWindow):
            window = self._window_choice
        elif self._window_choice is None or self._window_choice is False:
            window = None
        else:
            raise TypeError("window must be True, None or a HostWindow")
        instance_id = lib.KolThermo_Initialize(window.handle if window is not None else None)
        if instance_id == 0:
            if owned is not None:
                owned.close()
            raise KolThermoError(EventCode.NONE, "KolThermo_Initialize")
        self._lib, self._id, self._window = lib, instance_id, window
        self._finalizer = weakref.finalize(self, _release_instance, lib, instance_id, owned)
        self._backlog = []
        self._width = lib.KolThermo_GetParam(instance_id, Param.WIDTH)
        self._height = lib.KolThermo_GetParam(instance_id, Param.HEIGHT)
        self._get_raw = lib.KolThermo_GetRaw
        self._get_color_rgb = lib.KolThermoHost_GetColorRGB
        self._get_temperature = lib.KolThermo_GetTemperature
        self._get_last_error = lib.KolThermo_GetLastError
        try:
            self._checked("KolThermo_SetParam", Param.FETCH_FLIPPED, _ROW_ORDERS[self.rows])
            if self.slot != 0:
                self._checked("KolThermo_SetCameraNumber", self.slot)
        except BaseException:
            self.close()
            raise
        return self

    def close(self) -> None:
        """Releases the instance (and its own host window). Safe to call again."""
        finalizer, self._finalizer = self._finalizer, None
        self._id = 0
        self._window = None
        if finalizer is not None:
            finalizer()

    def __enter__(self) -> "Camera":
        return self.open()

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    @property
    def is_open(self) -> bool:
        return self._id != 0

    @property
    def id(self) -> int:
        """The library's instance ID (0 while closed)."""
        return self._id

    @property
    def width(self) -> int:
        """Frame width in pixels."""
        return self._width

    @property
    def height(self) -> int:
        """Frame height in pixels."""
        return self._height

    @property
    def window(self) -> Optional[HostWindow]:
        return self._window

    def __repr__(self) -> str:
        state = f"id={self._id}" if self.is_open else "closed"
        return f"<Camera slot={self.slot} {state}>"

    # ---- calls and codes ----------------------------------------------------

    def _require(self) -> ctypes.CDLL:
        if self._id == 0 or self._lib is None:
            raise CameraClosedError("the camera is not open")
        return self._lib

    def _collect(self) -> None:
        """Moves the codes queued so far to the backlog, so that a failure's code is its own."""
        code = self._require().KolThermo_GetLastError(self._id)
        if code != 0:
            self._keep_codes(code)

    def _keep_codes(self, first: int) -> None:
        """Keeps ``first`` (already taken from the library) and every code queued after it."""
        fresh = [EventCode.of(first)]
        for _ in range(_CODE_DRAIN_LIMIT):
            code = self._get_last_error(self._id)
            if code == 0:
                break
            fresh.append(EventCode.of(code))
        self._backlog[:0] = fresh

    def _failure(self, function: str, detail: str = "") -> KolThermoError:
        """The error for a failed call, carrying every code it queued (newest first)."""
        lib = self._require()
        codes = []
        for _ in range(_CODE_DRAIN_LIMIT):
            code = lib.KolThermo_GetLastError(self._id)
            if code == 0:
                break
            codes.append(EventCode.of(code))
        error = KolThermoError(codes[0] if codes else EventCode.NONE, function, detail)
        error.codes = codes
        return error

    def _checked(self, function: str, *args: Any) -> int:
        lib = self._require()
        self._collect()
        result = getattr(lib, function)(self._id, *args)
        if result == 0:
            raise self._failure(function)
        return result

    def take_codes(self) -> List[int]:
        """Every event code queued and not yet reported by an exception, newest first."""
        self._collect()
        codes, self._backlog = self._backlog, []
        return codes

    # ---- parameters ---------------------------------------------------------

    def get_param(self, param: int) -> int:
        """``KolThermo_GetParam``: ids 1..18 are instance settings, others camera registers."""
        lib = self._require()
        return lib.KolThermo_GetParam(self._id, int32(param, "parameter id"))

    def set_param(self, param: int, value: int) -> None:
        """``KolThermo_SetParam``; raises KolThermoError when the library refuses."""
        self._checked("KolThermo_SetParam", int32(param, "parameter id"), int32(value, "value"))

    def wait_param(self, param: int, done: Callable[[int], bool], timeout: float) -> bool:
        """Polls a parameter until ``done(value)``; False when ``timeout`` seconds pass first."""
        deadline = time.monotonic() + timeout
        while True:
            if done(self.get_param(param)):
                return True
            if time.monotonic() >= deadline:
                return False
            time.sleep(_POLL_S)

    frame_rate = Parameter(
        Param.FRAME_RATE,
        "Measured frames per second while previewing.",
        writable=False,
        to_python=lambda value: value / 100.0,
    )
    recording_mode = Parameter(
        Param.RECORDING_MODE,
        "The requested recording mode.",
        writable=False,
        to_python=lambda value: member_or_int(RecordingMode, value),
    )
    previewing = Parameter(
        Param.PREVIEWING, "True while previewing.", writable=False, to_python=bool
    )
    paused = Parameter(
        Param.PAUSED,
        "True while paused (frames are not published).",
        writable=False,
        to_python=bool,
    )
    recording = Parameter(
        Param.RECORDING, "True while a recording file is open.", writable=False, to_python=bool
    )
    ring_size = Parameter(
        Param.RING_SIZE, "Frame slots kept (fixed once the instance exists).", writable=False
    )
    loop_interval_ms = Parameter(Param.LOOP_INTERVAL, "Milliseconds slept per capture pass.")
    nuc_hold_ms = Parameter(Param.NUC_HOLD, "Milliseconds after a NUC during which frames drop.")
    split_size_mib = Parameter(Param.SPLIT_SIZE, "Recording split size in MiB.")
    auto_range_frames = Parameter(
        Param.AUTO_RANGE_FRAMES,
        "Colour window follows the scene: negative always, n > 0 for n frames, 0 fixed.",
    )
    color_low = Parameter(Param.COLOR_LOW, "Raw code at and below which pixels are black.")
    color_high = Parameter(Param.COLOR_HIGH, "Raw code at and above which pixels are white.")
    nuc_on_drift = Parameter(
        Param.NUC_ON_DRIFT,
        "Whether a drift event also asks for a NUC.",
        to_python=bool,
        to_library=flag,
    )
    fetch_flipped = Parameter(
        Param.FETCH_FLIPPED,
        "The library's fetch row order: False gives the stored (bottom-up) order, True "
        "top row first. open() sets it from ``rows`` (True for the default 'top').",
        to_python=bool,
        to_library=flag,
    )
    mirror_on_save = Parameter(
        Param.MIRROR_ON_SAVE,
        "Writes stills and recordings vertically mirrored.",
        to_python=bool,
        to_library=flag,
    )

    # ---- cameras ------------------------------------------------------------

    def cameras(self) -> List[CameraInfo]:
        """The cameras attached now, by slot."""
        lib = self._require()
        self._collect()
        return list_cameras(lib, self._id)

    def select(self, slot: int) -> None:
        """``KolThermo_SetCameraNumber``: the camera later acquisition uses."""
        self._checked("KolThermo_SetCameraNumber", int32(slot, "slot"))
        self.slot = int(slot)

    # ---- acquisition --------------------------------------------------------

    def preview(self) -> None:
        """Starts continuous acquisition."""
        self._checked("KolThermo_Preview")

    def stop(self) -> None:
        """``KolThermo_Close``: stops acquisition and any recording; the instance stays."""
        self._checked("KolThermo_Close")

    def pause(self) -> None:
        """Stops publishing frames; acquisition keeps running."""
        self._checked("KolThermo_Pause")

    def resume(self) -> None:
        """``KolThermo_Start``: publishes frames again after pause()."""
        self._checked("KolThermo_Start")

    def one_shot(self) -> int:
        """Acquires one frame while not previewing; returns its frame ID."""
        return self._checked("KolThermo_OneShot")

    def trigger(self) -> int:
        """Waits for the trigger input (up to 3 s) and returns the frame's ID."""
        return self._checked("KolThermo_Trigger")

    @property
    def latest_frame_id(self) -> int:
        """ID of the most recently published frame; 0 before any."""
        return self._require().KolThermo_GetNewID(self._id)

    def _message_window(self) -> HostWindow:
        window = self._window
        if window is None:
            raise RuntimeError("the camera has no host window")
        return window

    def wait_frame(self, timeout: float = 2.0) -> int:
        """Takes the next frame-ready message from the camera's window; returns the frame ID.

        Messages already waiting come first: ``window.clear()`` drops them.
        Event messages met on the way are skipped (their codes stay queued
        for ``take_codes()``). Raises TimeoutError after ``timeout`` seconds;
        Ctrl-C interrupts the wait at once.
        """
        window = self._message_window()
        deadline = time.monotonic() + timeout
        while True:
            message = window.get(max(0.0, deadline - time.monotonic()))
            if message is None:
                raise TimeoutError(f"no frame within {timeout} s")
            if isinstance(message, FrameReady):
                return message.frame_id

    def frame(self, frame_id: FrameId = None) -> Frame:
        """The Frame of ``frame_id`` (None or "latest": the newest published frame)."""
        return Frame(self, self._frame_id(frame_id), time.time())

    def frames(
        self, count: Optional[int] = None, *, timeout: Optional[float] = 5.0, newest: bool = False
    ) -> Iterator[Frame]:
        """``for frame in camera.frames(...)``: each frame as it is published.

        Ends after ``count`` frames (None: never). Raises TimeoutError when no
        frame comes for ``timeout`` seconds (None: wait without limit; Ctrl-C
        still interrupts). ``newest``: a loop slower than the camera skips to
        the newest frame waiting instead of taking every frame in turn (their
        messages are dropped). Messages already waiting come first.
        """
        window = self._message_window()
        taken = 0
        while count is None or taken < count:
            if timeout is None:
                frame_id = self._next_frame_id(window)
            else:
                frame_id = self.wait_frame(timeout)
            stamp = time.time()
            if newest:
                for message in window.drain():
                    if isinstance(message, FrameReady):
                        frame_id = message.frame_id
            yield Frame(self, frame_id, stamp)
            taken += 1

    @staticmethod
    def _next_frame_id(window: HostWindow) -> int:
        while True:
            message = window.get(None)
            if isinstance(message, FrameReady):
                return message.frame_id

    async def frames_async(
        self, count: Optional[int] = None, *, timeout: Optional[float] = 5.0, newest: bool = False
    ) -> AsyncGenerator[Frame, None]:
        """``async for frame in camera.frames_async(...)``: frames() for asyncio.

        The window's descriptor is watched by the running loop (nothing
        blocks it); the same options as frames(), except that any message
        (an event too) restarts the ``timeout``. It takes the window's one
        asyncio reader, as events() does.
        """
        window = self._message_window()
        if count is not None and count <= 0:
            return
        taken = 0
        batches = window.batches(timeout)
        try:
            async for batch in batches:
                stamp = time.time()
                ids = [message.frame_id for message in batch if isinstance(message, FrameReady)]
                for frame_id in ids[-1:] if newest else ids:
                    yield Frame(self, frame_id, stamp)
                    taken += 1
                    if count is not None and taken >= count:
                        return
        finally:
            await batches.aclose()  # frees the window's reader now, not when collected

    async def events(self) -> AsyncGenerator[Message, None]:
        """``async for message in camera.events()``: FrameReady and CameraEvent messages."""
        async for message in self._message_window().messages():
            yield message

    def wait_settled(self, timeout: float = 10.0) -> Frame:
        """Waits until the picture has settled and returns the newest frame.

        After ``load_table()`` or ``nuc()`` the camera drops frames for
        ``nuc_hold_ms``, and the automatic colour window follows
        the scene only from the frames after that: a frame saved earlier can
        be missing or washed out. This waits out the hold started by those
        calls, drops the messages waiting in the window and takes the next
        frames until the colour window has followed the scene. Needs a
        previewing camera with a window; TimeoutError after ``timeout``.
        """
        window = self._message_window()
        if not self.previewing:
            raise RuntimeError("wait_settled() needs a previewing camera")
        deadline = time.monotonic() + timeout
        hold_end = self._hold_from + max(0, self.nuc_hold_ms) / 1000.0
        if hold_end > deadline:
            raise TimeoutError(f"the NUC hold outlasts {timeout} s")
        while time.monotonic() < hold_end:
            time.sleep(min(_POLL_S * 10, max(0.0, hold_end - time.monotonic())))
        window.clear()
        frame_id = 0
        for _ in range(_SETTLE_FRAMES):
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError(f"no settled frame within {timeout} s")
            frame_id = self.wait_frame(left)
        return Frame(self, frame_id, time.time())

    # ---- frames -------------------------------------------------------------

    def _frame_id(self, frame_id: FrameId) -> int:
        if type(frame_id) is int and _INT32_MIN <= frame_id <= _INT32_MAX:
            return frame_id
        if frame_id is None or frame_id == "latest":
            return self.latest_frame_id
        if isinstance(frame_id, str):
            raise ValueError(f"frame ID must be an int, None or 'latest', not {frame_id!r}")
        return int32(frame_id, "frame ID")

    def _fetch(self, function: Any, name: str, frame_id: FrameId, buffer: np.ndarray) -> None:
        """One fetch into ``buffer`` through the function pointer looked up at open().

        Kept lean: the frame calls are timed against the bare C calls.
        """
        instance = self._id
        if instance == 0:
            raise CameraClosedError("the camera is not open")
        if type(frame_id) is not int or not _INT32_MIN <= frame_id <= _INT32_MAX:
            frame_id = self._frame_id(frame_id)
        code = self._get_last_error(instance)
        if code != 0:  # queued since the last call: kept for take_codes()
            self._keep_codes(code)
        # A ctypes view of the array's first byte, by reference: a fraction of
        # the cost of ndarray.ctypes or __array_interface__, and it holds the
        # array's buffer for the call.
        first_byte = _byref(_C_CHAR.from_buffer(buffer))  # type: ignore[arg-type]
        if function(instance, frame_id, first_byte, buffer.nbytes) == 0:
            raise self._failure(name)

    def raw(self, frame_id: FrameId = None) -> np.ndarray:
        """The frame's raw codes, ``uint16`` (height, width), as KolThermo_GetRaw hands them out.

        Rows come top row first unless the camera was opened with
        ``rows="bottom"`` (see ``fetch_flipped``). ``frame_id`` None or
        "latest" takes the most recent frame.
        """
        stride = _stride(self._width, 2)
        if stride == self._width * 2:
            frame = np.empty((self._height, self._width), dtype=_UINT16)
            self._fetch(self._get_raw, "KolThermo_GetRaw", frame_id, frame)
            return frame
        padded = np.empty((self._height, stride), dtype=np.uint8)
        self._fetch(self._get_raw, "KolThermo_GetRaw", frame_id, padded)
        return np.ascontiguousarray(padded[:, : self._width * 2]).view(np.uint16)

    def color(self, frame_id: FrameId = None) -> np.ndarray:
        """The false-colour frame, ``uint8`` (height, width, 3) in RGB order.

        KolThermo_GetColor hands out blue-green-red pixels in rows padded to
        4 bytes; this wraps the host extra KolThermoHost_GetColorRGB, which
        copies the same picture as packed red-green-blue in one pass. Rows
        come in the same order as raw().
        """
        frame = np.empty((self._height, self._width, 3), dtype=_UINT8)
        self._fetch(self._get_color_rgb, "KolThermoHost_GetColorRGB", frame_id, frame)
        return frame

    def temperature(
        self,
        frame_id: FrameId = None,
        *,
        emissivity: Optional[float] = None,
        reflected: Optional[float] = None,
        transmission: Optional[float] = None,
        atmosphere: Optional[float] = None,
    ) -> np.ndarray:
        """Temperatures in degrees Celsius, ``float32`` (height, width); -999.0 where none.

        Without keywords these are the blackbody temperatures the library
        reports. With an ``emissivity`` each pixel is corrected to the object's
        temperature (``reflected`` defaults to 20 degrees, ``transmission`` to
        1, ``atmosphere`` to the reflected temperature; see
        thermography.correct); a pixel that cannot be corrected becomes -999.0.
        Bad object parameters raise thermography.ThermographyError. Rows come
        in the same order as raw().
        """
        given = (emissivity, reflected, transmission, atmosphere)
        params = None if given == _NO_OBJECT else optional_object_params(*given)
        frame = np.empty((self._height, self._width), dtype=_FLOAT32)
        self._fetch(self._get_temperature, "KolThermo_GetTemperature", frame_id, frame)
        if params is not None:
            correct_in_place(frame, params)
        return frame

    # ---- temperature --------------------------------------------------------

    def load_table(self, path: _strings.PathArg) -> None:
        """Loads a calibration table file (this also starts a NUC hold)."""
        self._hold_from = time.monotonic()
        self._checked("KolThermo_SetTableW", _strings.wide(path))

    def nuc(self) -> None:
        """Asks the camera for a non-uniformity correction; frames drop for nuc_hold_ms."""
        self._hold_from = time.monotonic()
        self._checked("KolThermo_Nuc")

    @property
    def internal_temperature(self) -> float:
        """The sensor's internal temperature in degrees Celsius."""
        lib = self._require()
        self._collect()
        status = ctypes.c_int(0)
        value = lib.KolThermo_GetInternalTemperature(self._id, ctypes.byref(status))
        if status.value != 1:
            raise self._failure("KolThermo_GetInternalTemperature")
        return float(value)

    # ---- files --------------------------------------------------------------

    def save(self, path: _strings.PathArg, format: Union[str, int] = "bmp") -> None:
        """Saves the current frame. ``format``: a name (bmp, jpeg, jpeg70, jpeg20, png,
        tiff, colour-raw, raw, raw-png, raw-tiff, temp-i8, temp-u8, temp-i32, temp-f32)
        or the library's format number.

        The frame is saved to a new file beside ``path`` that replaces it only
        once complete: a failed save leaves a previous file as it was. A
        target that is not a regular file, or that the library holds open,
        raises OSError."""
        number = int32(save_format_number(format), "save format")
        target = _strings.to_text(path)
        _strings.wide(target)  # a name the library cannot take creates nothing
        with _files.replacing(target) as temporary:
            self._checked("KolThermo_SaveW", _strings.wide(temporary), number)

    def record(self, path: _strings.PathArg, mode: Union[str, int] = "video") -> Recording:
        """Asks for a recording (raw, video or temperature); the capture loop opens
        the file at its next frame. Use the result with ``with`` to stop it."""
        number = int32(recording_mode_number(mode), "recording mode")
        text = _strings.to_text(path)
        self._checked("KolThermo_RecW", _strings.wide(text), number)
        return Recording(self, text, number)

    def stop_recording(self, timeout: float = 2.0) -> bool:
        """Asks to end the recording and, while frames flow, waits for the file to close.

        Returns True once no recording file is open. While paused or not
        previewing the request takes effect at the next published frame.
        """
        self._checked("KolThermo_RecW", _strings.wide(""), RecordingMode.NONE)
        if self.previewing and not self.paused:
            return self.wait_param(Param.RECORDING, lambda value: value == 0, timeout)
        return not self.recording
