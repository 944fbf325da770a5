"""What the page sends is checked before anything changes: refused settings
leave the old ones in place, tools are clipped to the frame."""

from __future__ import annotations

import numpy as np
import pytest

from kolthermo.viewer import frames
from kolthermo.viewer.settings import MAX_TOOLS, Tool, ViewSettings, apply

WIDTH, HEIGHT = 384, 288


@pytest.mark.parametrize(
    "change",
    [
        {"palette": "../../etc/passwd"},
        {"range": "everything"},
        {"range": "manual", "low": 50, "high": 10},
        {"low": float("nan")},
        {"high": "hot"},
        {"emissivity": 0},
        {"emissivity": True},
        {"reflected": 1e9},
        {"tools": "box"},
        {"tools": [{"kind": "circle", "coords": [1, 2]}]},
        {"tools": [{"kind": "spot", "coords": [1]}]},
        {"tools": [{"kind": "box", "coords": [500, 500, 10, 10]}]},
        {"tools": [{"kind": "spot", "coords": [1, 1]}] * (MAX_TOOLS + 1)},
        # One bad field refuses the whole message, the good ones with it.
        {"palette": "rainbow", "emissivity": -1},
    ],
)
def test_refused_settings_change_nothing(change):
    settings = ViewSettings()
    before = settings.as_json()
    with pytest.raises(ValueError):
        apply(settings, change, WIDTH, HEIGHT)
    assert settings.as_json() == before


def test_tools_are_clipped_to_the_frame():
    settings = ViewSettings()
    tools = [
        {"kind": "box", "coords": [380, 280, -20, 30]},  # drawn leftwards, past the bottom
        {"kind": "spot", "coords": [-5, 999]},
        {"kind": "line", "coords": [0, 0, 1000, 1000]},
    ]
    apply(settings, {"tools": tools}, WIDTH, HEIGHT)
    assert settings.tools == [
        Tool("box", (360, 280, 20, 8)),
        Tool("spot", (0, HEIGHT - 1)),
        Tool("line", (0, 0, WIDTH - 1, HEIGHT - 1)),
    ]


def test_frame_message_round_trips():
    celsius = np.full((HEIGHT, WIDTH), 20.0, dtype=np.float32)
    celsius[10, 20] = 95.5
    celsius[200, 300] = -999.0  # no temperature: neither hottest nor coldest
    celsius[100, 50] = 3.25
    settings = ViewSettings(tools=[Tool("spot", (20, 10)), Tool("box", (0, 0, 1, 1))])
    header, rgba, back = frames.parse(frames.render(celsius, settings, -7, 1234.5))
    assert (header["frame"], header["stamp"]) == (-7, 1234.5)
    assert np.array_equal(back, celsius)
    assert rgba.shape == (HEIGHT, WIDTH, 4) and (rgba[:, :, 3] == 255).all()
    assert header["hottest"] == {"at": [20, 10], "celsius": 95.5}
    assert header["coldest"] == {"at": [50, 100], "celsius": 3.25}
    assert [tool["max"] for tool in header["tools"]] == [95.5, 20.0]
    assert header["low"] <= header["labels"][0] and header["labels"][-1] <= header["high"]
