"""Thermography on numpy arrays: object correction, measurements, palettes and
radiometric files, through the companion library libkolthermo_thermography.so.1.

    from kolthermo import thermography as thermo
    objects = thermo.correct(celsius, emissivity=0.95, reflected=22.0)
    stats = thermo.box(objects, 100, 80, 40, 30, alarm_above=60.0)
    rgb, (low, high) = thermo.colorize(objects, "iron", return_range=True)
    thermo.write_picture("frame.png", thermo.with_scale_bar(rgb, low, high, "iron"))
    thermo.write_celsius_tiff("frame.tiff", objects, frame_id=7, emissivity=0.95)

Frames are (height, width) arrays of degrees Celsius, -999.0 where there is no
temperature; (x, y) is ``frame[y, x]``. Files are written with row 0 at the
top. The library is loaded from KOLTHERMO_THERMOGRAPHY_LIBRARY when set,
otherwise by the system's library search. Refused input raises
ThermographyError (a ValueError carrying the library's ``code``); files that
cannot be written raise OSError (ThermographyFileError when the library's
write fails).
"""

from __future__ import annotations

from ._colour import (
    IsothermMode,
    Palette,
    RangeMode,
    colorize,
    palette_colors,
    palette_names,
    palette_number,
    scale_bar_width,
    scale_labels,
    with_scale_bar,
)
from ._correction import correct
from ._measurement import Alarm, RegionKind, Stats, box, ellipse, line, line_profile, spot
from ._radiometric import (
    FrameInfo,
    TiffRecording,
    write_celsius_csv,
    write_celsius_tiff,
    write_picture,
    write_raw16_tiff,
)
from ._thermography_common import (
    NO_TEMPERATURE,
    ThermographyCode,
    ThermographyError,
    ThermographyFileError,
)
from ._thermography_library import (
    DEFAULT_THERMOGRAPHY_LIBRARY_NAME,
    THERMOGRAPHY_LIBRARY_ENV,
    thermography_library_path,
)

__all__ = [
    "Alarm",
    "DEFAULT_THERMOGRAPHY_LIBRARY_NAME",
    "FrameInfo",
    "IsothermMode",
    "NO_TEMPERATURE",
    "Palette",
    "RangeMode",
    "RegionKind",
    "Stats",
    "THERMOGRAPHY_LIBRARY_ENV",
    "ThermographyCode",
    "ThermographyError",
    "ThermographyFileError",
    "TiffRecording",
    "box",
    "colorize",
    "correct",
    "ellipse",
    "line",
    "line_profile",
    "palette_colors",
    "palette_names",
    "palette_number",
    "scale_bar_width",
    "scale_labels",
    "spot",
    "thermography_library_path",
    "with_scale_bar",
    "write_celsius_csv",
    "write_celsius_tiff",
    "write_picture",
    "write_raw16_tiff",
]
