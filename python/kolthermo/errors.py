"""Event codes and the exception that carries them."""

from __future__ import annotations

import enum


class EventCode(enum.IntEnum):
    """The library's event codes. NONE marks a failure that queued no code."""

    NONE = 0
    NO_FRAME_TO_SAVE = 1
    CAMERA_NOT_AVAILABLE = 2
    FRAME_TRANSFER_FAILED = 3
    CAMERA_LOST = 4
    INVALID_ARGUMENT = 5
    BUFFER_OR_MEMORY = 6
    THREAD_NOT_STARTED = 7
    DEVICE_CONTROL_FAILED = 8
    FILE_OR_TABLE_FAILED = 9
    NOT_SUPPORTED = 10

    @classmethod
    def of(cls, value: int) -> "EventCode | int":
        """The member for ``value``; a value the library never stores stays an int."""
        try:
            return cls(value)
        except ValueError:
            return value


_DESCRIPTIONS = {
    EventCode.NONE: "failed without an event code",
    EventCode.NO_FRAME_TO_SAVE: "no frame to save",
    EventCode.CAMERA_NOT_AVAILABLE: "camera not available",
    EventCode.FRAME_TRANSFER_FAILED: "frame transfer failed",
    EventCode.CAMERA_LOST: "camera lost",
    EventCode.INVALID_ARGUMENT: "invalid argument",
    EventCode.BUFFER_OR_MEMORY: "buffer or memory",
    EventCode.THREAD_NOT_STARTED: "thread not started",
    EventCode.DEVICE_CONTROL_FAILED: "device control failed",
    EventCode.FILE_OR_TABLE_FAILED: "file or table failed",
    EventCode.NOT_SUPPORTED: "not supported",
}


def describe(code: int) -> str:
    return _DESCRIPTIONS.get(code, "unknown code")  # type: ignore[call-overload]


class KolThermoError(Exception):
    """A library call returned failure.

    ``code`` is the event code the call queued (an EventCode; EventCode.NONE
    when it queued none, as for a one-shot while previewing), ``function`` the
    C function that failed.
    """

    def __init__(self, code: int, function: str, detail: str = "") -> None:
        self.code = EventCode.of(code)
        self.function = function
        self.detail = detail
        text = f"{function} failed: code {int(self.code)} ({self.code_name}, {describe(code)})"
        if detail:
            text += f": {detail}"
        super().__init__(text)

    @property
    def code_name(self) -> str:
        return self.code.name if isinstance(self.code, EventCode) else str(self.code)


class CameraClosedError(RuntimeError):
    """The Camera has no library instance: it was never opened or is closed."""
