"""Event codes and the exception that carries them."""

from __future__ import annotations

import enum
from typing import List

from . import _names
from ._header_enum import header_enum, member_or_int


class _EventCodeLookup(enum.IntEnum):
    @classmethod
    def of(cls, value: int) -> int:
        """The member for ``value``; a value the library never stores stays an int."""
        return member_or_int(cls, value)


EventCode = header_enum(
    "EventCode",
    "CODE_",
    "The library's event codes (KOLTHERMO_CODE_*). NONE marks a failure that queued no code.",
    __name__,
    base=_EventCodeLookup,
    leading=[("NONE", 0)],  # the package's own: the library never queues a 0
)

# KolThermoCodeName's descriptions; NONE's is the package's own.
_DESCRIPTIONS = {EventCode.NONE: "failed without an event code", **_names.CODE_NAMES}


def describe(code: int) -> str:
    return _DESCRIPTIONS.get(code, _names.UNKNOWN_CODE_NAME)  # type: ignore[call-overload]


class KolThermoError(Exception):
    """A library call returned failure.

    ``code`` is the event code the call queued (an EventCode; EventCode.NONE
    when it queued none, as for a one-shot while previewing), ``function`` the
    C function that failed; ``codes`` every code the call queued, newest first.
    """

    def __init__(self, code: int, function: str, detail: str = "") -> None:
        self.code = EventCode.of(code)
        self.function = function
        self.detail = detail
        # Every code the failed call queued, newest first (set by the Camera):
        # EventCode members, or plain ints for codes the library never stores.
        self.codes: List[int] = [self.code]
        text = f"{function} failed: code {int(self.code)} ({self.code_name}, {describe(code)})"
        if detail:
            text += f": {detail}"
        super().__init__(text)

    @property
    def code_name(self) -> str:
        return self.code.name if isinstance(self.code, EventCode) else str(self.code)


class CameraClosedError(RuntimeError):
    """The Camera has no library instance: it was never opened or is closed."""
