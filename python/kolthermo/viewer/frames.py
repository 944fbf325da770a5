"""One frame as the page receives it: a binary WebSocket message.

Layout (little-endian): a uint32 with the header's length, the header as
UTF-8 JSON padded with spaces to a multiple of 4 bytes, then the picture as
RGBA (width x height x 4 bytes, row 0 at the top, ready for putImageData),
then the temperatures as float32 (width x height, -999.0 where none) for the
readout under the cursor. The header carries the frame ID, the time stamp
(ms since the epoch, taken when the frame-ready message was seen), the
colour range and its scale labels, the hottest and coldest points and each
tool's statistics.
"""

from __future__ import annotations

import json
import math
import struct
from typing import Any, Optional

import numpy as np

from .. import thermography as thermo
from .settings import Tool, ViewSettings

NO_TEMPERATURE = -999.0
SCALE_LABELS = 8


def _number(value: float) -> Optional[float]:
    return round(float(value), 3) if math.isfinite(value) else None


def stats_json(stats: thermo.Stats) -> dict:
    return {
        "min": _number(stats.min),
        "max": _number(stats.max),
        "mean": _number(stats.mean),
        "min_at": list(stats.min_at),
        "max_at": list(stats.max_at),
        "count": stats.count,
    }


def measure(celsius: np.ndarray, tool: Tool) -> Optional[dict]:
    """The tool's statistics; None when it covers no pixel with a temperature."""
    measure_of = {"spot": thermo.spot, "box": thermo.box, "line": thermo.line}[tool.kind]
    try:
        return stats_json(measure_of(celsius, *tool.coords))
    except thermo.ThermographyError:
        return None


def render(celsius: np.ndarray, settings: ViewSettings, frame_id: int, stamp_ms: float) -> bytes:
    """The frame message for ``celsius`` (float32, row 0 at the top)."""
    height, width = celsius.shape
    header: dict[str, Any] = {
        "frame": frame_id,
        "stamp": stamp_ms,
        "width": width,
        "height": height,
        "palette": settings.palette,
    }
    rgba = np.empty((height, width, 4), dtype=np.uint8)
    rgba[:, :, 3] = 255
    try:
        rgb, (low, high) = thermo.colorize(
            celsius, settings.palette, settings.colour_range, return_range=True
        )
    except thermo.ThermographyError:  # no pixel has a temperature (no table yet)
        rgba[:, :, :3] = 0
        header.update(low=None, high=None, labels=[], hottest=None, coldest=None, tools=[])
    else:
        rgba[:, :, :3] = rgb
        whole = thermo.box(celsius, 0, 0, width, height)
        header.update(
            low=_number(low),
            high=_number(high),
            labels=[_number(label) for label in thermo.scale_labels(low, high, SCALE_LABELS)],
            hottest={"at": list(whole.max_at), "celsius": _number(whole.max)},
            coldest={"at": list(whole.min_at), "celsius": _number(whole.min)},
            tools=[measure(celsius, tool) for tool in settings.tools],
        )
    text = json.dumps(header, separators=(",", ":")).encode()
    text += b" " * (-len(text) % 4)
    return b"".join(
        (struct.pack("<I", len(text)), text, rgba.data, np.ascontiguousarray(celsius, "<f4").data)
    )


def parse(message: bytes) -> tuple[dict, np.ndarray, np.ndarray]:
    """Splits a frame message into header, RGBA picture and temperatures (for tests and tools)."""
    (length,) = struct.unpack_from("<I", message)
    header = json.loads(message[4 : 4 + length])
    height, width = header["height"], header["width"]
    start = 4 + length
    rgba = np.frombuffer(message, np.uint8, height * width * 4, start).reshape(height, width, 4)
    start += rgba.nbytes
    celsius = np.frombuffer(message, "<f4", height * width, start).reshape(height, width)
    return header, rgba, celsius
