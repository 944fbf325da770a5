"""Frames as numpy arrays agree with what the C functions hand out."""

from __future__ import annotations

import numpy as np
import pytest

import kolthermo
from conftest import HEIGHT, WIDTH, c_fetch, write_direct_table


def test_frames_match_the_c_functions_for_the_same_frame_id(streaming, c_lib):
    streaming.wait_frame()
    streaming.pause()  # holds the newest frame in the ring for every fetch below
    try:
        frame_id = streaming.latest_frame_id
        raw = streaming.raw(frame_id)
        color = streaming.color(frame_id)
        celsius = streaming.temperature(frame_id)
        c_raw = c_fetch(c_lib, "KolThermo_GetRaw", streaming.id, frame_id, 221184)
        c_celsius = c_fetch(c_lib, "KolThermo_GetTemperature", streaming.id, frame_id, 442368)
        c_bgr = c_fetch(c_lib, "KolThermo_GetColor", streaming.id, frame_id, 331776)
    finally:
        streaming.resume()

    assert (raw.dtype, raw.shape) == (np.uint16, (HEIGHT, WIDTH))
    assert (color.dtype, color.shape) == (np.uint8, (HEIGHT, WIDTH, 3))
    assert (celsius.dtype, celsius.shape) == (np.float32, (HEIGHT, WIDTH))
    assert raw.tobytes() == c_raw
    assert celsius.tobytes() == c_celsius
    # The C function gives blue, green, red; the array is red, green, blue.
    bgr = np.frombuffer(c_bgr, dtype=np.uint8).reshape(HEIGHT, WIDTH, 3)
    np.testing.assert_array_equal(color[..., 0], bgr[..., 2])
    np.testing.assert_array_equal(color[..., 1], bgr[..., 1])
    np.testing.assert_array_equal(color[..., 2], bgr[..., 0])
    assert len(np.unique(color.reshape(-1, 3), axis=0)) > 10  # a real false-colour picture


def test_latest_is_the_newest_published_frame(streaming):
    streaming.pause()
    try:
        newest = streaming.latest_frame_id
        assert newest != 0
        np.testing.assert_array_equal(streaming.raw(), streaming.raw(newest))
        np.testing.assert_array_equal(streaming.raw("latest"), streaming.raw(newest))
    finally:
        streaming.resume()


def test_rows_come_top_first_unless_the_stored_order_is_asked_for(streaming, c_lib):
    """The package asks the library for top-first rows; fetch_flipped stays the C parameter."""
    assert streaming.fetch_flipped is True
    assert c_lib.KolThermo_GetParam(streaming.id, kolthermo.Param.FETCH_FLIPPED) == 1
    streaming.pause()
    try:
        frame_id = streaming.latest_frame_id
        top_first = (
            streaming.raw(frame_id),
            streaming.color(frame_id),
            streaming.temperature(frame_id),
        )
        streaming.fetch_flipped = False
        stored = (
            streaming.raw(frame_id),
            streaming.color(frame_id),
            streaming.temperature(frame_id),
        )
    finally:
        streaming.fetch_flipped = True
        streaming.resume()
    for normal, reversed_rows in zip(top_first, stored):
        np.testing.assert_array_equal(normal[::-1], reversed_rows)
    assert not np.array_equal(top_first[0], stored[0])  # the scene is not symmetric
    with kolthermo.Camera(rows="bottom") as camera:
        assert camera.fetch_flipped is False
    with pytest.raises(ValueError):
        kolthermo.Camera(rows="upside-down")


def test_unknown_frame_ids_raise_invalid_argument(streaming):
    for bad in (0, streaming.latest_frame_id ^ 0x5A5A5A5A):
        with pytest.raises(kolthermo.KolThermoError) as caught:
            streaming.raw(bad)
        assert caught.value.code == kolthermo.EventCode.INVALID_ARGUMENT
        assert caught.value.code_name == "INVALID_ARGUMENT"
        assert caught.value.function == "KolThermo_GetRaw"
    with pytest.raises(ValueError):
        streaming.temperature("newest")
    with pytest.raises(ValueError):
        streaming.color(2**40)


def test_temperatures_follow_the_loaded_table(camera, tmp_path):
    """With a direct table, each pixel's temperature is the table entry of its raw code."""
    table = tmp_path / "direct1000.bin"
    write_direct_table(table, lambda codes: codes * 0.01 - 40.0)
    camera.load_table(table)
    frame_id = camera.one_shot()
    raw = camera.raw(frame_id)
    expected = (np.arange(16384) * 0.01 - 40.0).astype(np.float32)[raw]
    np.testing.assert_array_equal(camera.temperature(frame_id), expected)


def test_a_missing_table_raises_file_error(camera, tmp_path):
    with pytest.raises(kolthermo.KolThermoError) as caught:
        camera.load_table(tmp_path / "absent.bin")
    assert caught.value.code == kolthermo.EventCode.FILE_OR_TABLE_FAILED
