"""Camera properties backed by instance parameters, and the 32-bit range check."""

from __future__ import annotations

from typing import TYPE_CHECKING, Any, Callable, Optional

import numpy as np


if TYPE_CHECKING:
    from .camera import Camera


def int32(value: Any, what: str) -> int:
    """``value`` as an int that fits the library's 32-bit int arguments."""
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
        raise TypeError(f"{what} must be an int, not {type(value).__name__}")
    value = int(value)
    if not -(2**31) <= value < 2**31:
        raise ValueError(f"{what} {value} does not fit a 32-bit int")
    return value


class Parameter:
    """A Camera property backed by an instance parameter."""

    def __init__(
        self,
        param: int,  # a Param member
        doc: str,
        *,
        writable: bool = True,
        to_python: Callable[[int], Any] = int,
        to_library: Callable[[Any], Any] = lambda value: value,
    ) -> None:
        self.param = param
        self.writable = writable
        self.to_python = to_python
        self.to_library = to_library
        self.__doc__ = doc

    def __set_name__(self, owner: type, name: str) -> None:
        self.name = name

    def __get__(self, camera: Optional["Camera"], owner: type) -> Any:
        if camera is None:
            return self
        return self.to_python(camera.get_param(self.param))

    def __set__(self, camera: "Camera", value: Any) -> None:
        if not self.writable:
            raise AttributeError(f"{self.name} is read-only")
        camera.set_param(self.param, self.to_library(value))


def flag(value: Any) -> int:
    """A truth value as the library's 0 or 1."""
    return 1 if value else 0
