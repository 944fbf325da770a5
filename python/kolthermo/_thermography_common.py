"""What the thermography functions share: result codes, their exceptions,
frame checks and the object parameters."""

from __future__ import annotations

import math
import os
from typing import Any, Optional

import numpy as np

from . import _thermography_library as _c
from ._header_enum import header_enum, member_or_int
from ._parameter import int32

ThermographyCode = header_enum(
    "ThermographyCode",
    "THERMO_",
    "Result codes of the thermography library (KOLTHERMO_THERMO_*).",
    "kolthermo.thermography",
)

NO_TEMPERATURE = -999.0
DEFAULT_REFLECTED_C = 20.0

_INT_MAX = 2**31 - 1
# Pixel counts and the byte sizes of pictures are C ints in the library.
_MAX_PIXELS = _INT_MAX // 4


class ThermographyError(ValueError):
    """A thermography function refused its input.

    ``code`` is the library's result (a ThermographyCode), ``function`` the C
    function that returned it.
    """

    def __init__(self, code: int, function: str, detail: str = "") -> None:
        self.code = member_or_int(ThermographyCode, code)
        self.function = function
        name = self.code.name if isinstance(self.code, ThermographyCode) else str(self.code)
        text = f"{function} failed: {name.lower().replace('_', ' ')} ({int(code)})"
        if detail:
            text += f": {detail}"
        super().__init__(text)


class ThermographyFileError(ThermographyError, OSError):
    """A file (or the scale bar's font) could not be opened, written or read."""


def check(result: int, function: str, detail: str = "") -> None:
    """Raises the exception for a result other than KOLTHERMO_THERMO_OK."""
    if result == ThermographyCode.OK:
        return
    if result in (ThermographyCode.FILE_ERROR, ThermographyCode.FONT_UNAVAILABLE):
        raise ThermographyFileError(result, function, detail)
    raise ThermographyError(result, function, detail)


def frame(values: Any, what: str = "temperatures", dtype: Any = np.float32) -> np.ndarray:
    """``values`` as a C-contiguous 2-D array of ``dtype`` (height, width).

    Refuses other shapes, empty frames and frames too large for the library's
    int sizes before anything reaches the library.
    """
    array = np.ascontiguousarray(values, dtype=dtype)
    if array.ndim != 2:
        raise ValueError(f"{what} must be a 2-D array (height, width), not {array.ndim}-D")
    height, width = array.shape
    if height < 1 or width < 1:
        raise ValueError(f"{what} is empty ({height} x {width})")
    if array.size > _MAX_PIXELS:
        raise ValueError(f"{what} of {height} x {width} is too large")
    return array


def picture(rgb: Any) -> np.ndarray:
    """``rgb`` as a C-contiguous uint8 (height, width, 3) array."""
    array = np.asarray(rgb)
    if array.dtype != np.uint8:
        raise TypeError(f"a picture must be uint8, not {array.dtype}")
    if array.ndim != 3 or array.shape[2] != 3:
        raise ValueError(f"a picture must be (height, width, 3), not {array.shape}")
    if array.shape[0] < 1 or array.shape[1] < 1:
        raise ValueError(f"the picture is empty ({array.shape[0]} x {array.shape[1]})")
    if array.shape[0] * array.shape[1] > _MAX_PIXELS:
        raise ValueError(f"the picture of {array.shape[0]} x {array.shape[1]} is too large")
    return np.ascontiguousarray(array)


def celsius(value: Any, what: str) -> float:
    """A finite temperature (or any finite float argument)."""
    if isinstance(value, bool) or not isinstance(value, (int, float, np.integer, np.floating)):
        raise TypeError(f"{what} must be a number, not {type(value).__name__}")
    number = float(value)
    if not math.isfinite(number):
        raise ValueError(f"{what} must be finite, not {number}")
    return number


def coordinate(value: Any, what: str) -> int:
    return int32(value, what)


def object_params(
    emissivity: Any,
    reflected: Any = DEFAULT_REFLECTED_C,
    transmission: Any = 1.0,
    atmosphere: Any = None,
) -> _c.ObjectParams:
    """The C parameters of an object; the atmosphere defaults to the reflected
    temperature (the surroundings the camera looks through).

    Only types are checked here: the library judges the values and refuses
    them with INVALID_ARGUMENT, so the limits are written down once.
    """
    reflected_c = celsius(reflected, "reflected")
    return _c.ObjectParams(
        celsius(emissivity, "emissivity"),
        reflected_c,
        celsius(transmission, "transmission"),
        reflected_c if atmosphere is None else celsius(atmosphere, "atmosphere"),
    )


def optional_object_params(
    emissivity: Any, reflected: Any, transmission: Any, atmosphere: Any
) -> Optional[_c.ObjectParams]:
    """The object parameters when an emissivity is given, else None (no correction).

    The other parameters alone correct nothing, so giving them without an
    emissivity is refused rather than silently ignored.
    """
    if emissivity is None:
        given = [
            name
            for name, value in (
                ("reflected", reflected),
                ("transmission", transmission),
                ("atmosphere", atmosphere),
            )
            if value is not None
        ]
        if given:
            raise TypeError(f"{', '.join(given)} given without an emissivity")
        return None
    return object_params(
        emissivity,
        DEFAULT_REFLECTED_C if reflected is None else reflected,
        1.0 if transmission is None else transmission,
        atmosphere,
    )


def path_bytes(path: Any) -> bytes:
    """A path as the bytes the library opens; a NUL inside is refused."""
    name = os.fsencode(os.fspath(path))
    if b"\0" in name:
        raise ValueError("path contains a NUL character")
    return name
