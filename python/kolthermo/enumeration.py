"""Listing the cameras attached, by slot."""

from __future__ import annotations

import ctypes
from typing import List, NamedTuple

from . import _strings
from ._library import library
from .errors import EventCode, KolThermoError

CAMERA_SLOTS = 8
_NAME_CHARS = 64  # display names are 17 characters; room to spare
_CODE_DRAIN_LIMIT = 100000  # never loop for ever on a misbehaving library


class CameraInfo(NamedTuple):
    slot: int
    name: str


def list_cameras(lib: ctypes.CDLL, instance_id: int) -> List[CameraInfo]:
    found = []
    for slot in range(CAMERA_SLOTS):
        name = (ctypes.c_uint16 * _NAME_CHARS)()
        if lib.KolThermo_IsCameraEnableW(instance_id, slot, name, _NAME_CHARS):
            found.append(CameraInfo(slot, _strings.from_wide(name)))
    # An empty slot fails without a code; a refused one queues code 5: drop them.
    for _ in range(_CODE_DRAIN_LIMIT):
        if lib.KolThermo_GetLastError(instance_id) == 0:
            break
    return found


def cameras() -> List[CameraInfo]:
    """The cameras attached now, by slot, through a short-lived instance."""
    lib = library()
    instance_id = lib.KolThermo_Initialize(None)
    if instance_id == 0:
        raise KolThermoError(EventCode.NONE, "KolThermo_Initialize")
    try:
        return list_cameras(lib, instance_id)
    finally:
        lib.KolThermo_Release(instance_id)
