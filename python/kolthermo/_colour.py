"""False colour from temperatures: palettes, range modes, isotherms, the scale bar."""

from __future__ import annotations

import ctypes
from typing import Any, List, Optional, Sequence, Tuple, Union

import numpy as np

from . import _thermography_library as _c
from ._header_enum import header_enum
from ._parameter import int32
from ._thermography_common import celsius, check, frame, path_bytes, picture

Palette = header_enum(
    "Palette",
    "PALETTE_",
    "Palettes, 256 colours from cold to hot (KOLTHERMO_PALETTE_*).",
    "kolthermo.thermography",
    skip=("COUNT",),
)
RangeMode = header_enum(
    "RangeMode", "RANGE_", "Range modes of colorize (KOLTHERMO_RANGE_*).", "kolthermo.thermography"
)
IsothermMode = header_enum(
    "IsothermMode",
    "ISOTHERM_",
    "Isotherm conditions of colorize (KOLTHERMO_ISOTHERM_*).",
    "kolthermo.thermography",
)

PaletteArg = Union[str, int]
RangeArg = Union[str, Tuple[float, float]]

DEFAULT_ISOTHERM_COLOR = (0, 255, 0)
_MOST_LABELS = 64


def palette_names() -> List[str]:
    """The palettes' names, in the order of their numbers."""
    name_of = _c.function("KolThermoPaletteName")
    return [name_of(int(palette)).decode("ascii") for palette in Palette]


def palette_number(palette: PaletteArg) -> int:
    """A palette name (as palette_names() lists them) or number as its number."""
    if isinstance(palette, str):
        number = _c.function("KolThermoPaletteFromName")(palette.encode("utf-8", "replace"))
        if number < 0:
            known = ", ".join(palette_names())
            raise ValueError(f"unknown palette {palette!r}; known: {known}")
        return number
    return int32(palette, "palette")


def palette_colors(palette: PaletteArg) -> np.ndarray:
    """The palette's 256 colours, uint8 (256, 3) R, G, B, from cold to hot."""
    colors = np.zeros((256, 3), dtype=np.uint8)
    check(
        _c.function("KolThermoPaletteColors")(palette_number(palette), colors.ctypes.data),
        "KolThermoPaletteColors",
        f"palette {palette!r}",
    )
    return colors


def _range(options: _c.ColorOptions, value: RangeArg) -> None:
    if isinstance(value, str):
        modes = {"auto": RangeMode.AUTO, "histogram": RangeMode.HISTOGRAM}
        if value.lower() not in modes:
            raise ValueError(f"range must be 'auto', 'histogram' or (low, high), not {value!r}")
        options.range = modes[value.lower()]
        return
    try:
        low, high = value
    except (TypeError, ValueError):
        raise TypeError(
            f"range must be 'auto', 'histogram' or (low, high), not {value!r}"
        ) from None
    options.range = RangeMode.MANUAL
    options.low_c = celsius(low, "range low")
    options.high_c = celsius(high, "range high")


def _isotherm(options: _c.ColorOptions, value: Optional[Sequence[Any]], color: Any) -> None:
    if value is None:
        return
    if isinstance(value, str) or not isinstance(value, Sequence) or len(value) < 2:
        raise TypeError(
            "isotherm must be ('above', t), ('below', t) or ('between', low, high), "
            f"not {value!r}"
        )
    mode, *thresholds = value
    mode = str(mode).lower()
    expected = {"above": 1, "below": 1, "between": 2}
    if mode not in expected:
        raise ValueError(f"isotherm mode must be above, below or between, not {mode!r}")
    if len(thresholds) != expected[mode]:
        raise ValueError(f"a {mode!r} isotherm takes {expected[mode]} temperature(s)")
    temperatures = [celsius(t, "isotherm threshold") for t in thresholds]
    options.isotherm = IsothermMode[mode.upper()]
    if mode == "above":
        options.iso_low_c = temperatures[0]
    elif mode == "below":
        options.iso_high_c = temperatures[0]
    else:
        options.iso_low_c, options.iso_high_c = temperatures
    rgb = np.asarray(color)
    if (
        rgb.shape != (3,)
        or not np.issubdtype(rgb.dtype, np.integer)
        or rgb.min() < 0
        or rgb.max() > 255
    ):
        raise ValueError(f"isotherm_color must be three ints 0..255, not {color!r}")
    options.iso_rgb[:] = [int(channel) for channel in rgb]


def colorize(
    temperatures: Any,
    palette: PaletteArg = "iron",
    range: RangeArg = "auto",
    *,
    isotherm: Optional[Sequence[Any]] = None,
    isotherm_color: Sequence[int] = DEFAULT_ISOTHERM_COLOR,
    return_range: bool = False,
) -> Union[np.ndarray, Tuple[np.ndarray, Tuple[float, float]]]:
    """Colours a (height, width) temperature frame: uint8 (height, width, 3), R, G, B.

    ``range``: "auto" (the frame's minimum to its maximum), "histogram"
    (histogram equalisation over that span, for detail) or (low, high) in
    degrees, beyond which colours clamp. ``isotherm``: ("above", t),
    ("below", t) or ("between", low, high), whose pixels are drawn in
    ``isotherm_color``. -999.0 (no temperature) is drawn black. With
    ``return_range`` the result is (picture, (low, high)), the range the
    colours stand for, as with_scale_bar() takes it.

    A frame without any temperature raises ThermographyError (EMPTY_REGION).
    """
    values = frame(temperatures)
    options = _c.ColorOptions()
    options.palette = palette_number(palette)
    _range(options, range)
    _isotherm(options, isotherm, isotherm_color)
    height, width = values.shape
    rgb = np.empty((height, width, 3), dtype=np.uint8)
    low, high = ctypes.c_float(), ctypes.c_float()
    check(
        _c.function("KolThermoColorize")(
            values.ctypes.data,
            width,
            height,
            ctypes.byref(options),
            rgb.ctypes.data,
            ctypes.byref(low),
            ctypes.byref(high),
        ),
        "KolThermoColorize",
    )
    if return_range:
        return rgb, (float(low.value), float(high.value))
    return rgb


def scale_labels(low: float, high: float, most: int = 16) -> List[float]:
    """The scale bar's label values for a range: low, high and round values
    between them, lowest first, at most ``most``."""
    capacity = int32(most, "most")
    if not 2 <= capacity <= _MOST_LABELS:
        raise ValueError(f"most must be 2 to {_MOST_LABELS}, not {capacity}")
    values = np.zeros(capacity, dtype=np.float32)
    count = ctypes.c_int(0)
    check(
        _c.function("KolThermoScaleLabels")(
            celsius(low, "low"),
            celsius(high, "high"),
            values.ctypes.data,
            capacity,
            ctypes.byref(count),
        ),
        "KolThermoScaleLabels",
    )
    return [float(value) for value in values[: count.value]]


def scale_bar_width(height: int) -> int:
    """How many columns with_scale_bar() adds to a picture of that height."""
    width = _c.function("KolThermoScaleBarWidth")(int32(height, "height"))
    if width < 1:
        raise ValueError(f"no scale bar for a picture {height} pixels high")
    return width


def with_scale_bar(
    rgb: Any,
    low: float,
    high: float,
    palette: PaletteArg = "iron",
    *,
    font: Any = None,
) -> np.ndarray:
    """The picture with a colour scale on its right: the palette from ``low``
    (bottom) to ``high`` (top) labelled in degrees Celsius.

    ``rgb`` is a uint8 (height, width, 3) picture, top row first, as colorize()
    gives it; the result is wider by scale_bar_width(height). ``font`` is the
    path of a TrueType font; None takes the SDK's default. A font that cannot
    be read raises ThermographyFileError.
    """
    pixels = picture(rgb)
    height, width, _ = pixels.shape
    out = np.empty((height, width + scale_bar_width(height), 3), dtype=np.uint8)
    check(
        _c.function("KolThermoDrawWithScaleBar")(
            pixels.ctypes.data,
            width,
            height,
            palette_number(palette),
            celsius(low, "low"),
            celsius(high, "high"),
            None if font is None else path_bytes(font),
            out.ctypes.data,
        ),
        "KolThermoDrawWithScaleBar",
    )
    return out
