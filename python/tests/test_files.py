"""Still images and recordings written through the package."""

from __future__ import annotations

import os
import struct

import numpy as np
import pytest
import tifffile
from PIL import Image

import kolthermo
from kolthermo import EventCode, KolThermoError, sim


@pytest.fixture
def paused(streaming):
    """The shared camera with publishing paused, so the current frame stays put."""
    streaming.pause()
    yield streaming
    streaming.resume()


def test_saving_before_any_frame_raises_no_frame_to_save(camera, tmp_path):
    target = tmp_path / "early.bmp"
    with pytest.raises(KolThermoError) as caught:
        camera.save(target, "bmp")
    assert caught.value.code == EventCode.NO_FRAME_TO_SAVE
    assert not target.exists()


@pytest.mark.parametrize("bad", [14, -1, 2**31 - 1])
def test_bad_format_numbers_raise_invalid_argument(streaming, tmp_path, bad):
    target = tmp_path / "bad.out"
    with pytest.raises(KolThermoError) as caught:
        streaming.save(target, bad)
    assert caught.value.code == EventCode.INVALID_ARGUMENT
    assert not target.exists()


def test_unknown_format_names_and_bad_paths_are_refused_before_the_library(streaming, tmp_path):
    with pytest.raises(ValueError, match="unknown save format"):
        streaming.save(tmp_path / "x", "gif")
    with pytest.raises(ValueError, match="NUL"):
        streaming.save(str(tmp_path / "x\0y"), "bmp")
    with pytest.raises(ValueError, match="UTF-16"):
        streaming.save(str(tmp_path) + "/bad\udcff.bmp", "bmp")
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize(
    "name, size",
    [
        ("bmp", 331830),
        ("colour-raw", 331776),
        ("raw", 221184),
        ("temp-i8", 110592),
        ("temp-u8", 110592),
        ("temp-i32", 442368),
        ("temp-f32", 442368),
    ],
)
def test_saved_files_have_their_format_size(paused, tmp_path, name, size):
    target = tmp_path / f"still.{name}"
    paused.save(target, name)
    assert target.stat().st_size == size


def test_saved_dumps_hold_the_current_frame(paused, tmp_path):
    paused.save(tmp_path / "frame.raw", kolthermo.SaveFormat.RAW)
    paused.save(tmp_path / "frame.f32", 13)
    paused.save(tmp_path / "frame.bmp", "bmp")
    # The dumps and the bottom-up BMP keep the library's stored order, bottom
    # row first; the arrays come top row first.
    raw = paused.raw("latest")[::-1]
    assert (tmp_path / "frame.raw").read_bytes() == raw.tobytes()
    assert (tmp_path / "frame.f32").read_bytes() == paused.temperature("latest")[::-1].tobytes()
    bmp = (tmp_path / "frame.bmp").read_bytes()
    assert bmp[:2] == b"BM" and struct.unpack_from("<I", bmp, 10)[0] == 54
    pixels = np.frombuffer(bmp, dtype=np.uint8, offset=54).reshape(288, 384, 3)
    np.testing.assert_array_equal(pixels[::-1, :, ::-1], paused.color("latest"))


def test_unicode_paths_reach_the_file_system(paused, tmp_path):
    target = tmp_path / "naïve € κάμερα.bmp"
    paused.save(target)
    assert target.stat().st_size == 331830
    paused.save(bytes(tmp_path / "bytes-name.raw"), "raw")
    assert (tmp_path / "bytes-name.raw").stat().st_size == 221184


@pytest.mark.parametrize(
    "name, signature",
    [
        ("jpeg", b"\xff\xd8\xff"),
        ("jpeg70", b"\xff\xd8\xff"),
        ("jpeg20", b"\xff\xd8\xff"),
        ("png", b"\x89PNG\r\n\x1a\n"),
        ("raw-png", b"\x89PNG\r\n\x1a\n"),
        ("tiff", (b"II*\x00", b"MM\x00*")),
        ("raw-tiff", (b"II*\x00", b"MM\x00*")),
    ],
)
def test_compressed_stills_carry_their_signature(paused, tmp_path, name, signature):
    target = tmp_path / f"still-{name}"
    paused.save(target, name)
    head = target.read_bytes()[:8]
    signatures = signature if isinstance(signature, tuple) else (signature,)
    assert any(head.startswith(s) for s in signatures), head


def test_raw_stills_keep_every_code(streaming, tmp_path):
    """Formats 8 and 9 store each code shifted left by 2: value >> 2 gives every code back."""
    sim.set_scene(0, sim.Scene.ALL_CODES)
    every_code = np.arange(16384)
    try:
        for _ in range(60):  # frames already on their way show the previous scene
            streaming.wait_frame()
            if np.array_equal(np.unique(streaming.raw("latest")), every_code):
                break
        else:
            pytest.fail("no frame of the all-codes scene")
        streaming.pause()  # the current frame stays put
        try:
            streaming.save(tmp_path / "raw.png", "raw-png")
            streaming.save(tmp_path / "raw.tiff", "raw-tiff")
            codes = streaming.raw("latest")
        finally:
            streaming.resume()
    finally:
        sim.set_scene(0, sim.Scene.DEFAULT)  # the module's other tests look at the room

    # The scene numbers its pixels from the top row: the array starts there too.
    np.testing.assert_array_equal(codes.ravel(), np.arange(codes.size) % 16384)
    png = (tmp_path / "raw.png").read_bytes()
    chunk = png.index(b"sBIT")
    assert png[chunk + 4] == 14  # significant bits of the grey samples
    with Image.open(tmp_path / "raw.png") as image:
        from_png = np.asarray(image).astype(np.int64)
    from_tiff = tifffile.imread(tmp_path / "raw.tiff")
    assert from_tiff.dtype == np.uint16
    for samples in (from_png, from_tiff.astype(np.int64)):
        np.testing.assert_array_equal(samples, codes.astype(np.int64) << 2)


def test_a_save_into_a_missing_directory_raises_file_not_found(streaming, tmp_path):
    with pytest.raises(FileNotFoundError):
        streaming.save(tmp_path / "no" / "such" / "dir.bmp")


def test_a_failed_save_leaves_the_previous_file_and_nothing_else(streaming, tmp_path):
    target = tmp_path / "still.bmp"
    target.write_bytes(b"previous")
    with pytest.raises(KolThermoError) as caught:
        streaming.save(target, 14)  # refused by the library after the new file exists
    assert caught.value.code == EventCode.INVALID_ARGUMENT
    assert target.read_bytes() == b"previous"
    assert list(tmp_path.iterdir()) == [target]


def test_saves_refuse_what_is_not_a_regular_file_and_leave_it(streaming, tmp_path):
    (tmp_path / "folder").mkdir()
    os.mkfifo(tmp_path / "fifo")
    for name in ("folder", "fifo"):
        with pytest.raises(OSError, match="not a regular file"):
            streaming.save(tmp_path / name, "png")
    assert sorted(p.name for p in tmp_path.iterdir()) == ["fifo", "folder"]


def test_a_save_never_replaces_a_file_being_recorded(streaming, tmp_path):
    target = tmp_path / "rec.avi"
    with streaming.record(target, "video") as recording:
        assert recording.wait_started()
        with pytest.raises(OSError, match="in use"):
            streaming.save(target, "jpeg")
    assert target.read_bytes()[:4] == b"RIFF"


def test_video_recording_writes_an_avi_and_stops_on_leaving_the_block(streaming, tmp_path):
    target = tmp_path / "clip.avi"
    streaming.window.clear()  # count only frames published from here on
    with streaming.record(target, "video") as recording:
        assert recording.wait_started()
        assert streaming.recording_mode == kolthermo.RecordingMode.VIDEO
        for _ in range(3):
            streaming.wait_frame()
    assert not streaming.recording
    data = target.read_bytes()
    assert data[:4] == b"RIFF" and data[8:12] == b"AVI "
    assert struct.unpack_from("<I", data, 4)[0] == len(data) - 8
    assert b"idx1" in data


def test_raw_recording_holds_whole_frames(streaming, tmp_path):
    target = tmp_path / "frames.raw"
    streaming.window.clear()
    recording = streaming.record(target, kolthermo.RecordingMode.RAW)
    assert recording.wait_started()
    # The frame that opens the file is not in it; every later one is.
    for _ in range(3):
        streaming.wait_frame()
    assert streaming.stop_recording()
    size = target.stat().st_size
    assert size >= 2 * 221184 and size % 221184 == 0


def test_refused_recording_requests(streaming, tmp_path):
    with pytest.raises(KolThermoError) as caught:
        streaming.record(tmp_path / ("x" * 300), "raw")
    assert caught.value.code == EventCode.INVALID_ARGUMENT
    with pytest.raises(ValueError, match="unknown recording mode"):
        streaming.record(tmp_path / "x", "mpeg")
    assert streaming.recording_mode == kolthermo.RecordingMode.NONE
