"""Paths as the library's wide strings: zero-terminated UTF-16 code units.

The package calls the W functions only. A path is taken as ``str``, ``bytes``
or any ``os.PathLike``; bytes are decoded with the file system encoding first.
A name that cannot be written as well-formed UTF-16 (a ``str`` holding lone
surrogates, as undecodable bytes become) or that contains a NUL is refused with
ValueError before it reaches the library.
"""

from __future__ import annotations

import ctypes
import os
from typing import Union

PathArg = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def to_text(path: PathArg) -> str:
    name = os.fspath(path)
    if isinstance(name, bytes):
        name = os.fsdecode(name)
    if not isinstance(name, str):
        raise TypeError(f"expected a path, got {type(path).__name__}")
    if "\0" in name:
        raise ValueError("path contains a NUL character")
    return name


def wide(path: PathArg) -> ctypes.Array:
    """A zero-terminated ``uint16`` array holding the path in UTF-16."""
    name = to_text(path)
    try:
        encoded = name.encode("utf-16-le")
    except UnicodeEncodeError as error:
        raise ValueError(f"path {name!r} cannot be written as UTF-16: {error.reason}") from error
    units = len(encoded) // 2
    buffer = (ctypes.c_uint16 * (units + 1))()
    ctypes.memmove(buffer, encoded, len(encoded))
    return buffer


def from_wide(buffer: ctypes.Array) -> str:
    """The text up to the first NUL of a ``uint16`` array."""
    units = list(buffer)
    if 0 in units:
        units = units[: units.index(0)]
    data = b"".join(unit.to_bytes(2, "little") for unit in units)
    return data.decode("utf-16-le", errors="replace")
