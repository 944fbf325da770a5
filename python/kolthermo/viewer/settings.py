"""What the page may change: palette, colour range, object parameters and the
measurement tools. Every value from the page is checked here; a bad one raises
ValueError and changes nothing."""

from __future__ import annotations

import math
from dataclasses import dataclass, field
from typing import Any, List, Optional, Tuple

from .. import thermography as thermo

MAX_TOOLS = 16
# The range of temperatures a manual colour range and the reflected temperature may take.
LOWEST_C, HIGHEST_C = -273.0, 2000.0


@dataclass(frozen=True)
class Tool:
    """A measurement on the picture, in frame pixels (x right, y down, row 0 at the top)."""

    kind: str  # "spot", "box" or "line"
    coords: Tuple[int, ...]  # spot: x, y; box: x, y, width, height; line: x0, y0, x1, y1


_COORD_COUNT = {"spot": 2, "box": 4, "line": 4}


@dataclass
class ViewSettings:
    palette: str = "iron"
    range_mode: str = "auto"  # "auto", "histogram" or "manual"
    manual_range: Tuple[float, float] = (20.0, 40.0)
    emissivity: float = 1.0
    reflected: float = 20.0
    tools: List[Tool] = field(default_factory=list)

    @property
    def colour_range(self) -> Any:
        return self.manual_range if self.range_mode == "manual" else self.range_mode

    @property
    def corrects(self) -> bool:
        """Whether temperatures are corrected for a surface that is not a blackbody."""
        return self.emissivity != 1.0

    def as_json(self) -> dict:
        return {
            "palette": self.palette,
            "range": self.range_mode,
            "low": self.manual_range[0],
            "high": self.manual_range[1],
            "emissivity": self.emissivity,
            "reflected": self.reflected,
            "tools": [{"kind": tool.kind, "coords": list(tool.coords)} for tool in self.tools],
        }


def _number(value: Any, what: str, low: float, high: float) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise ValueError(f"{what} must be a number")
    number = float(value)
    if not math.isfinite(number) or not low <= number <= high:
        raise ValueError(f"{what} must be {low} to {high}")
    return number


def _tool(item: Any, width: int, height: int) -> Tool:
    if not isinstance(item, dict) or item.get("kind") not in _COORD_COUNT:
        raise ValueError("a tool is {kind: spot|box|line, coords: [...]}")
    kind = item["kind"]
    coords = item.get("coords")
    if not isinstance(coords, list) or len(coords) != _COORD_COUNT[kind]:
        raise ValueError(f"a {kind} takes {_COORD_COUNT[kind]} coordinates")
    values = tuple(int(_number(value, "a coordinate", -1e6, 1e6)) for value in coords)
    if kind == "box":
        x, y, w, h = values
        # Clip to the frame; the page may draw past its edges.
        x0, y0 = max(0, min(x, x + w)), max(0, min(y, y + h))
        x1, y1 = min(width, max(x, x + w)), min(height, max(y, y + h))
        if x1 - x0 < 1 or y1 - y0 < 1:
            raise ValueError("the box lies outside the frame")
        values = (x0, y0, x1 - x0, y1 - y0)
    else:
        clipped = []
        for index, value in enumerate(values):
            limit = width if index % 2 == 0 else height
            clipped.append(max(0, min(limit - 1, value)))
        values = tuple(clipped)
    return Tool(kind, values)


def apply(settings: ViewSettings, change: dict, width: int, height: int) -> None:
    """Applies one ``settings`` message from the page; ValueError leaves ``settings`` as it was."""
    palette = change.get("palette", settings.palette)
    if palette not in thermo.palette_names():
        raise ValueError(f"no palette {palette!r}")
    range_mode = change.get("range", settings.range_mode)
    if range_mode not in ("auto", "histogram", "manual"):
        raise ValueError("range is auto, histogram or manual")
    low = _number(change.get("low", settings.manual_range[0]), "low", LOWEST_C, HIGHEST_C)
    high = _number(change.get("high", settings.manual_range[1]), "high", LOWEST_C, HIGHEST_C)
    if not low < high:
        raise ValueError("low must be below high")
    emissivity = _number(change.get("emissivity", settings.emissivity), "emissivity", 0.01, 1.0)
    reflected = _number(change.get("reflected", settings.reflected), "reflected", -100.0, 1000.0)
    tools: Optional[List[Tool]] = None
    if "tools" in change:
        items = change["tools"]
        if not isinstance(items, list) or len(items) > MAX_TOOLS:
            raise ValueError(f"tools is a list of at most {MAX_TOOLS}")
        tools = [_tool(item, width, height) for item in items]
    settings.palette = palette
    settings.range_mode = range_mode
    settings.manual_range = (low, high)
    settings.emissivity = emissivity
    settings.reflected = reflected
    if tools is not None:
        settings.tools = tools
