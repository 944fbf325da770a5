"""Spot, box, ellipse and line measurements on a temperature frame."""

from __future__ import annotations

import ctypes
from dataclasses import dataclass
from typing import Any, Dict, Optional, Tuple

import numpy as np

from . import _thermography_library as _c
from ._header_enum import header_enum
from ._thermography_common import (
    ThermographyCode,
    celsius,
    check,
    coordinate,
    frame,
    optional_object_params,
)

RegionKind = header_enum(
    "RegionKind",
    "REGION_",
    "Kinds of measured region (KOLTHERMO_REGION_*).",
    "kolthermo.thermography",
)
Alarm = header_enum(
    "Alarm", "ALARM_", "Alarm modes of a measurement (KOLTHERMO_ALARM_*).", "kolthermo.thermography"
)


@dataclass(frozen=True)
class Stats:
    """A region's statistics in degrees Celsius.

    ``min_at`` and ``max_at`` are the (x, y) of the first minimum and maximum
    in row order (along a line: in path order); ``std`` is the population
    standard deviation; ``count`` the pixels with a temperature that took
    part; ``alarm`` whether the measurement's alarm condition holds.
    """

    min: float
    max: float
    min_at: Tuple[int, int]
    max_at: Tuple[int, int]
    mean: float
    std: float
    count: int
    alarm: bool


# The keyword options every measurement takes. An emissivity asks for each
# pixel to be corrected first (reflected defaults to 20 degrees, transmission
# to 1, the atmosphere to the reflected temperature); alarm_above raises the
# alarm when the maximum is above that temperature, alarm_below when the
# minimum is below it. Out-of-frame regions, regions without a temperature
# and bad parameters raise ThermographyError (code OUTSIDE_FRAME,
# EMPTY_REGION, INVALID_ARGUMENT).
_OBJECT_KEYWORDS = ("emissivity", "reflected", "transmission", "atmosphere")
_ALARM_KEYWORDS = ("alarm_above", "alarm_below")


def _measurement(
    region: _c.Region, options: Dict[str, Optional[float]], allowed: Tuple[str, ...]
) -> _c.Measurement:
    unknown = sorted(set(options) - set(allowed))
    if unknown:
        raise TypeError(f"unexpected keyword argument {unknown[0]!r}")
    measurement = _c.Measurement()
    measurement.region = region
    params = optional_object_params(*(options.get(name) for name in _OBJECT_KEYWORDS))
    if params is not None:
        measurement.correct = 1
        measurement.object = params
    alarm_above, alarm_below = options.get("alarm_above"), options.get("alarm_below")
    if alarm_above is not None and alarm_below is not None:
        raise ValueError("an alarm is either above or below a threshold, not both")
    if alarm_above is not None:
        measurement.alarm = Alarm.ABOVE
        measurement.alarm_c = celsius(alarm_above, "alarm_above")
    elif alarm_below is not None:
        measurement.alarm = Alarm.BELOW
        measurement.alarm_c = celsius(alarm_below, "alarm_below")
    return measurement


def _measure(temperatures: Any, region: _c.Region, options: Dict[str, Optional[float]]) -> Stats:
    values = frame(temperatures)
    measurement = _measurement(region, options, _OBJECT_KEYWORDS + _ALARM_KEYWORDS)
    stats = _c.Stats()
    height, width = values.shape
    check(
        _c.function("KolThermoMeasure")(
            values.ctypes.data, width, height, ctypes.byref(measurement), ctypes.byref(stats)
        ),
        "KolThermoMeasure",
    )
    return Stats(
        min=float(stats.min_c),
        max=float(stats.max_c),
        min_at=(stats.min_x, stats.min_y),
        max_at=(stats.max_x, stats.max_y),
        mean=float(stats.mean_c),
        std=float(stats.stddev_c),
        count=stats.count,
        alarm=bool(stats.alarm),
    )


def _area(kind: int, x: Any, y: Any, width: Any, height: Any) -> _c.Region:
    return _c.Region(
        kind=kind,
        x=coordinate(x, "x"),
        y=coordinate(y, "y"),
        width=coordinate(width, "width"),
        height=coordinate(height, "height"),
    )


def _line(x0: Any, y0: Any, x1: Any, y1: Any) -> _c.Region:
    return _c.Region(
        kind=RegionKind.LINE,
        x=coordinate(x0, "x0"),
        y=coordinate(y0, "y0"),
        end_x=coordinate(x1, "x1"),
        end_y=coordinate(y1, "y1"),
    )


def spot(
    temperatures: Any,
    x: int,
    y: int,
    radius: int = 0,
    **options: Optional[float],
) -> Stats:
    """The disc of ``radius`` pixels around (x, y) of a (height, width) frame.

    Keywords: ``emissivity``, ``reflected``, ``transmission`` and
    ``atmosphere`` correct each pixel first; ``alarm_above`` or
    ``alarm_below`` set the alarm's threshold. box(), ellipse() and line()
    take the same; line_profile() the four object keywords.
    """
    region = _c.Region(
        kind=RegionKind.SPOT,
        x=coordinate(x, "x"),
        y=coordinate(y, "y"),
        radius=coordinate(radius, "radius"),
    )
    return _measure(temperatures, region, options)


def box(
    temperatures: Any,
    x: int,
    y: int,
    width: int,
    height: int,
    **options: Optional[float],
) -> Stats:
    """The box of ``width`` x ``height`` pixels whose top left pixel is (x, y):
    ``temperatures[y:y + height, x:x + width]``."""
    region = _area(RegionKind.BOX, x, y, width, height)
    return _measure(temperatures, region, options)


def ellipse(
    temperatures: Any,
    x: int,
    y: int,
    width: int,
    height: int,
    **options: Optional[float],
) -> Stats:
    """The ellipse inscribed in the box of box()."""
    region = _area(RegionKind.ELLIPSE, x, y, width, height)
    return _measure(temperatures, region, options)


def line(
    temperatures: Any,
    x0: int,
    y0: int,
    x1: int,
    y1: int,
    **options: Optional[float],
) -> Stats:
    """The pixels of the line from (x0, y0) to (x1, y1), both ends included."""
    region = _line(x0, y0, x1, y1)
    return _measure(temperatures, region, options)


def line_profile(
    temperatures: Any,
    x0: int,
    y0: int,
    x1: int,
    y1: int,
    **options: Optional[float],
) -> np.ndarray:
    """The temperatures along line()'s path, float32, from (x0, y0) on; -999.0
    where there is none (or, when correcting, where a pixel cannot be)."""
    values = frame(temperatures)
    height, width = values.shape
    measurement = _measurement(_line(x0, y0, x1, y1), options, _OBJECT_KEYWORDS)
    profile_function = _c.function("KolThermoLineProfile")
    length = ctypes.c_int(0)
    result = profile_function(
        values.ctypes.data, width, height, ctypes.byref(measurement), None, 0, ctypes.byref(length)
    )
    # Asked with no room, the library gives the length and INVALID_ARGUMENT;
    # any other answer (a refused line) is final.
    if result != ThermographyCode.INVALID_ARGUMENT or length.value < 1:
        check(result, "KolThermoLineProfile")
    profile = np.empty(length.value, dtype=np.float32)
    check(
        profile_function(
            values.ctypes.data,
            width,
            height,
            ctypes.byref(measurement),
            profile.ctypes.data,
            profile.size,
            ctypes.byref(length),
        ),
        "KolThermoLineProfile",
    )
    return profile[: length.value]
