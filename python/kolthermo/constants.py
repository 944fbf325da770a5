"""Parameter ids, still-image formats and recording modes, by name."""

from __future__ import annotations

import enum
from typing import Union


class Param(enum.IntEnum):
    """Instance parameters of KolThermo_GetParam / KolThermo_SetParam."""

    WIDTH = 1
    HEIGHT = 2
    FRAME_RATE = 3  # frames per second x 100, measured while previewing
    RECORDING_MODE = 4
    PREVIEWING = 5
    PAUSED = 6
    RECORDING = 7  # 1 while a recording file is open
    RING_SIZE = 8
    LOOP_INTERVAL = 9  # ms
    NUC_HOLD = 10  # ms
    SPLIT_SIZE = 11  # MiB
    AUTO_RANGE_FRAMES = 12
    COLOR_LOW = 13  # raw code
    COLOR_HIGH = 14  # raw code
    NUC_ON_DRIFT = 15
    RESERVED = 16
    FETCH_FLIPPED = 17  # row order of fetched frames
    MIRROR_ON_SAVE = 18  # row order of stills and recordings


class SaveFormat(enum.IntEnum):
    """Format numbers of KolThermo_SaveW."""

    BMP = 0
    COLOUR_RAW = 1
    JPEG = 2
    JPEG70 = 3
    JPEG20 = 4
    PNG = 5
    TIFF = 6
    RAW = 7
    RAW_PNG = 8
    RAW_TIFF = 9
    TEMP_I8 = 10
    TEMP_U8 = 11
    TEMP_I32 = 12
    TEMP_F32 = 13


SAVE_FORMAT_NAMES = {
    "bmp": SaveFormat.BMP,
    "colour-raw": SaveFormat.COLOUR_RAW,
    "color-raw": SaveFormat.COLOUR_RAW,
    "jpeg": SaveFormat.JPEG,
    "jpeg70": SaveFormat.JPEG70,
    "jpeg20": SaveFormat.JPEG20,
    "png": SaveFormat.PNG,
    "tiff": SaveFormat.TIFF,
    "raw": SaveFormat.RAW,
    "raw-png": SaveFormat.RAW_PNG,
    "raw-tiff": SaveFormat.RAW_TIFF,
    "temp-i8": SaveFormat.TEMP_I8,
    "temp-u8": SaveFormat.TEMP_U8,
    "temp-i32": SaveFormat.TEMP_I32,
    "temp-f32": SaveFormat.TEMP_F32,
}


class RecordingMode(enum.IntEnum):
    """Recording modes of KolThermo_RecW."""

    NONE = 0
    RAW = 1  # 16-bit raw codes, frame after frame
    VIDEO = 2  # AVI of the colour frames
    TEMPERATURE = 3  # 32-bit float temperatures, frame after frame


RECORDING_MODE_NAMES = {
    "none": RecordingMode.NONE,
    "raw": RecordingMode.RAW,
    "video": RecordingMode.VIDEO,
    "avi": RecordingMode.VIDEO,
    "temperature": RecordingMode.TEMPERATURE,
    "temp": RecordingMode.TEMPERATURE,
}


def _number(value: Union[str, int], names: dict, what: str) -> int:
    if isinstance(value, str):
        try:
            return int(names[value.lower()])
        except KeyError:
            known = ", ".join(sorted(names))
            raise ValueError(f"unknown {what} {value!r}; known: {known}") from None
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{what} must be a name or an int, not {type(value).__name__}")
    return int(value)


def save_format_number(value: Union[str, int]) -> int:
    """A format name or number as the number the library takes.

    Numbers pass unchanged, so the library itself judges an out-of-range one.
    """
    return _number(value, SAVE_FORMAT_NAMES, "save format")


def recording_mode_number(value: Union[str, int]) -> int:
    return _number(value, RECORDING_MODE_NAMES, "recording mode")
