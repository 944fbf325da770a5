"""Object temperatures from the camera's blackbody temperatures."""

from __future__ import annotations

import ctypes
from typing import Any, Union

import numpy as np

from . import _thermography_library as _c
from ._thermography_common import (
    DEFAULT_REFLECTED_C,
    ThermographyCode,
    ThermographyError,
    check,
    object_params,
)


def correct_in_place(values: np.ndarray, params: _c.ObjectParams) -> int:
    """Corrects a C-contiguous float32 array in place; returns how many pixels failed
    (those became -999.0). Refuses bad parameters without touching the array."""
    failed = ctypes.c_int(0)
    result = _c.function("KolThermoObjectTemperatures")(
        values.ctypes.data,
        values.ctypes.data,
        values.size,
        ctypes.byref(params),
        ctypes.byref(failed),
    )
    if result != ThermographyCode.OUT_OF_RANGE:
        check(result, "KolThermoObjectTemperatures")
    return failed.value


def correct(
    temperatures: Any,
    emissivity: float,
    reflected: float = DEFAULT_REFLECTED_C,
    transmission: float = 1.0,
    atmosphere: Union[float, None] = None,
    *,
    strict: bool = False,
) -> Union[np.ndarray, float]:
    """Object temperatures in degrees Celsius from measured (blackbody) ones.

    Inverts L(measured) = tau * (eps * L(object) + (1 - eps) * L(reflected))
    + (1 - tau) * L(atmosphere) pixel by pixel, L being the band radiance.
    ``emissivity`` and ``transmission`` lie in (0, 1]; ``atmosphere`` defaults
    to the ``reflected`` temperature.

    An array of any shape gives a new float32 array of that shape: -999.0
    stays -999.0, and a pixel that cannot be corrected (not finite, or out of
    the model's range) becomes -999.0, unless ``strict``, which raises
    ThermographyError instead. A single number gives a float and raises when
    it cannot be corrected. Bad parameters always raise ThermographyError.
    """
    params = object_params(emissivity, reflected, transmission, atmosphere)
    scalar = np.ndim(temperatures) == 0
    values = np.array(temperatures, dtype=np.float32, order="C", copy=True)
    if values.size > 2**31 - 1:
        raise ValueError(f"{values.size} temperatures are too many for one call")
    failed = correct_in_place(values, params)
    if failed and (strict or scalar):
        raise ThermographyError(
            ThermographyCode.OUT_OF_RANGE,
            "KolThermoObjectTemperatures",
            f"{failed} temperature(s) cannot be corrected with these parameters",
        )
    if scalar:
        return float(values)
    return values
