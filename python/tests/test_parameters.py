"""Parameters: defaults, named properties, the generic calls and refusals."""

from __future__ import annotations

import pytest

import kolthermo
from kolthermo import EventCode, KolThermoError, Param


def test_a_fresh_camera_reports_the_documented_defaults(camera):
    assert (camera.width, camera.height) == (384, 288)
    assert camera.ring_size == 30
    assert camera.loop_interval_ms == 10
    assert camera.split_size_mib == 2000
    assert camera.auto_range_frames == -1
    assert (camera.color_low, camera.color_high) == (1000, 3000)
    assert camera.nuc_on_drift is True
    # The library stores rows bottom first; the package asks for top first.
    assert camera.fetch_flipped is True and camera.mirror_on_save is False
    assert camera.previewing is False and camera.paused is False and camera.recording is False
    assert camera.recording_mode == kolthermo.RecordingMode.NONE
    assert camera.frame_rate == 0.0
    assert camera.latest_frame_id == 0


ROUND_TRIPS = [
    ("loop_interval_ms", Param.LOOP_INTERVAL, 25),
    ("nuc_hold_ms", Param.NUC_HOLD, 500),
    ("split_size_mib", Param.SPLIT_SIZE, 1),
    ("auto_range_frames", Param.AUTO_RANGE_FRAMES, 0),
    ("color_low", Param.COLOR_LOW, 1500),
    ("color_high", Param.COLOR_HIGH, 9000),
    ("nuc_on_drift", Param.NUC_ON_DRIFT, False),
    ("fetch_flipped", Param.FETCH_FLIPPED, False),
    ("mirror_on_save", Param.MIRROR_ON_SAVE, True),
]


def test_properties_round_trip_through_the_library(camera, c_lib):
    for name, param, value in ROUND_TRIPS:
        setattr(camera, name, value)
        assert getattr(camera, name) == value, name
        assert c_lib.KolThermo_GetParam(camera.id, param) == int(value), name


def test_generic_parameters(camera):
    camera.set_param(Param.NUC_ON_DRIFT, 7)  # stored as a flag
    assert camera.get_param(15) == 1
    camera.set_param(13, -5)  # stored unchecked
    assert camera.color_low == -5


def test_refused_parameters_raise_their_codes(camera):
    with pytest.raises(KolThermoError) as caught:
        camera.set_param(Param.RING_SIZE, 10)
    assert caught.value.code == EventCode.INVALID_ARGUMENT
    assert camera.ring_size == 30
    with pytest.raises(KolThermoError) as caught:
        camera.set_param(Param.RESERVED, 1)
    assert caught.value.code == EventCode.NOT_SUPPORTED
    assert camera.get_param(16) == 0
    with pytest.raises(AttributeError):
        camera.ring_size = 10
    with pytest.raises(AttributeError):
        camera.width = 10


def test_values_outside_32_bits_never_reach_the_library(camera):
    with pytest.raises(ValueError):
        camera.set_param(Param.SPLIT_SIZE, 2**32 + 1)
    with pytest.raises(TypeError):
        camera.set_param(Param.SPLIT_SIZE, "1")
    assert camera.split_size_mib == 2000
