"""Parameter ids, still-image formats and recording modes, by name.

The numbers come from the public header through the generated _names.py.
"""

from __future__ import annotations

from typing import Union

from ._header_enum import header_enum

Param = header_enum(
    "Param",
    "PARAM_",
    "Instance parameters of KolThermo_GetParam / KolThermo_SetParam (KOLTHERMO_PARAM_*).",
    __name__,
)

# COLOUR_RAW keeps the spelling the package used before the header named it.
SaveFormat = header_enum(
    "SaveFormat",
    "FORMAT_",
    "Format numbers of KolThermo_SaveW (KOLTHERMO_FORMAT_*).",
    __name__,
    spellings={"COLOR_RAW": "COLOUR_RAW"},
)

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


RecordingMode = header_enum(
    "RecordingMode",
    "RECORD_",
    "Recording modes of KolThermo_RecW (KOLTHERMO_RECORD_*).",
    __name__,
)


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
