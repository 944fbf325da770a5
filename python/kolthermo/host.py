"""The host message window: where the library posts frame-ready and event messages.

A HostWindow wraps ``KolThermoHost_*``. Its file descriptor is readable while
messages wait, which is how ``events()`` plugs it into an asyncio loop.
"""

from __future__ import annotations

import asyncio
import ctypes
import select
import threading
import time
from typing import AsyncGenerator, Iterator, List, NamedTuple, Optional, Tuple, Union

from . import _names
from ._library import HostMessage, library
from .errors import EventCode

MSG_FRAME_READY = _names.MSG_FRAME_READY
MSG_EVENT = _names.MSG_EVENT
QUEUE_LIMIT = _names.HOST_QUEUE_LIMIT

_HOST_MESSAGE = _names.HOST_MESSAGE
_HOST_TIMEOUT = _names.HOST_TIMEOUT
_CLOSED = object()  # ends an asyncio iteration when the window closes
# Longest single poll of a wait: a window destroyed by another thread closes
# its descriptor, which a poll already under way does not notice, so each
# slice ends by asking the library whether the window still lives.
_POLL_SLICE_S = 0.25


class FrameReady(NamedTuple):
    """A frame was published; fetch it with this ID."""

    frame_id: int


class CameraEvent(NamedTuple):
    """The library raised an event code (also queued for KolThermo_GetLastError)."""

    code: int  # an EventCode member, or an int for a code the library never stores


class OtherMessage(NamedTuple):
    """A message the library does not send (posted by the host itself)."""

    message: int
    wparam: int
    lparam: int


Message = Union[FrameReady, CameraEvent, OtherMessage]


def _decode(raw: HostMessage) -> Message:
    if raw.message == MSG_FRAME_READY:
        # Frame IDs are 32-bit ints carried in a pointer-sized lParam.
        return FrameReady(ctypes.c_int32(raw.lparam).value)
    if raw.message == MSG_EVENT:
        return CameraEvent(EventCode.of(int(raw.lparam)))
    return OtherMessage(raw.message, raw.wparam, raw.lparam)


class HostWindow:
    """A host message window. Close it (or use ``with``) to free it."""

    def __init__(self) -> None:
        self._lib = library()
        handle = self._lib.KolThermoHost_CreateWindow()
        if not handle:
            raise OSError("KolThermoHost_CreateWindow failed: out of resources")
        self._handle: Optional[int] = handle  # guarded by _lock for close()
        self._lock = threading.Lock()
        # The asyncio consumer of messages(), if any: (loop, queue). Guarded by _lock.
        self._reader: Optional[Tuple[asyncio.AbstractEventLoop, asyncio.Queue]] = None

    @property
    def handle(self) -> Optional[int]:
        """The opaque window handle to pass to the library; None once closed."""
        return self._handle

    @property
    def closed(self) -> bool:
        return self._handle is None

    def _live_handle(self) -> int:
        handle = self._handle
        if handle is None:
            raise ValueError("the host window is closed")
        return handle

    def fileno(self) -> int:
        """A descriptor that polls readable while messages wait. Do not read or close it."""
        fd = self._lib.KolThermoHost_GetFd(self._live_handle())
        if fd < 0:
            raise ValueError("the host window is closed")
        return fd

    def pending(self) -> int:
        """Number of messages waiting."""
        count = self._lib.KolThermoHost_PendingCount(self._live_handle())
        if count < 0:
            raise ValueError("the host window is closed")
        return count

    def get(self, timeout: Optional[float] = 0.0) -> Optional[Message]:
        """The oldest waiting message, waiting up to ``timeout`` seconds (None: no limit).

        Returns None on time-out. The wait polls the window's descriptor from
        Python, without the GIL, so Ctrl-C (or any signal handler that
        raises) interrupts it at once.
        """
        message = self._take()
        if message is not None or timeout is not None and timeout <= 0:
            return message
        deadline = None if timeout is None else time.monotonic() + timeout
        poller = select.poll()
        poller.register(self.fileno(), select.POLLIN)
        while True:
            if deadline is None:
                slice_s = _POLL_SLICE_S
            else:
                left = deadline - time.monotonic()
                if left <= 0:
                    return self._take()
                slice_s = min(left, _POLL_SLICE_S)
            poller.poll(max(1, int(slice_s * 1000)))
            # Another reader may have taken what woke the poll: then wait on.
            message = self._take()
            if message is not None:
                return message

    def _take(self) -> Optional[Message]:
        """The oldest waiting message without waiting; ValueError once the window is gone."""
        raw = HostMessage()
        result = self._lib.KolThermoHost_WaitMessage(self._live_handle(), 0, ctypes.byref(raw))
        if result == _HOST_MESSAGE:
            return _decode(raw)
        if result == _HOST_TIMEOUT:
            return None
        raise ValueError("the host window was closed")

    def drain(self) -> Iterator[Message]:
        """Every message waiting now, oldest first, without waiting."""
        while True:
            message = self._take()
            if message is None:
                return
            yield message

    def clear(self) -> int:
        """Drops every waiting message; returns how many."""
        return sum(1 for _ in self.drain())

    def post(self, message: int, wparam: int = 0, lparam: int = 0) -> bool:
        """Posts a message as the library does; False when the queue is full."""
        return bool(
            self._lib.KolThermoHost_PostMessage(self._live_handle(), message, wparam, lparam)
        )

    async def messages(self) -> AsyncGenerator[Message, None]:
        """Yields messages as they arrive, from the running asyncio loop.

        The window's descriptor is watched with ``loop.add_reader``; nothing
        blocks the loop. Only one such iterator may run per window at a time.
        The iteration ends when the window is closed.
        """
        batches = self.batches()
        try:
            async for batch in batches:
                for message in batch:
                    yield message
        finally:
            await batches.aclose()  # frees the window's reader now, not when collected

    async def batches(self, timeout: Optional[float] = None) -> AsyncGenerator[List[Message], None]:
        """Like messages(), but yields every message taken at one wake-up as one list.

        A consumer that wants only the newest frame looks at a whole batch.
        ``timeout``: TimeoutError when no message comes for that many seconds.
        """
        loop = asyncio.get_running_loop()
        queue: asyncio.Queue[object] = asyncio.Queue()
        with self._lock:
            if self._reader is not None:
                raise RuntimeError("this host window already has an asyncio reader")
            if self._handle is None:
                raise ValueError("the host window is closed")
            self._reader = (loop, queue)
        fd = self.fileno()

        def on_readable() -> None:
            # The descriptor stays readable while messages wait: take them all.
            try:
                batch = list(self.drain())
            except ValueError:
                loop.remove_reader(fd)
                queue.put_nowait(_CLOSED)
                return
            if batch:
                queue.put_nowait(batch)

        loop.add_reader(fd, on_readable)
        try:
            while True:
                if timeout is None:
                    item = await queue.get()
                else:
                    try:
                        item = await asyncio.wait_for(queue.get(), timeout)
                    except asyncio.TimeoutError:
                        raise TimeoutError(f"no message within {timeout} s") from None
                if item is _CLOSED:
                    return
                yield item  # type: ignore[misc]
        finally:
            loop.remove_reader(fd)
            with self._lock:
                self._reader = None

    def close(self) -> None:
        """Destroys the window and drops its messages. Safe to call twice."""
        with self._lock:
            handle, self._handle = self._handle, None
            reader = self._reader
        if handle is None:
            return
        if reader is not None:
            loop, queue = reader
            try:
                running: Optional[asyncio.AbstractEventLoop] = asyncio.get_running_loop()
            except RuntimeError:
                running = None
            if running is loop:
                # Unwatch the descriptor before the library closes it, so the
                # loop never holds a stale one.
                loop.remove_reader(self._lib.KolThermoHost_GetFd(handle))
        self._lib.KolThermoHost_DestroyWindow(handle)
        if reader is not None:
            # A destroyed window's descriptor never turns readable again: wake
            # the consumer so that its iteration ends.
            try:
                loop.call_soon_threadsafe(queue.put_nowait, _CLOSED)
            except RuntimeError:  # its loop is already closed
                pass

    def __enter__(self) -> "HostWindow":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:
            pass

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"handle={self._handle:#x}"
        return f"<HostWindow {state}>"
