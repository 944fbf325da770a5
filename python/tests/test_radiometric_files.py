"""Radiometric files written through the package, read back by other tools."""

from __future__ import annotations

import numpy as np
import pytest
import tifffile
from PIL import Image

from kolthermo import thermography as thermo
from kolthermo.thermography import ThermographyError

INFO = thermo.FrameInfo(
    frame_id=4711,
    time=1.7e9 + 0.25,
    internal=31.5,
    emissivity=0.95,
    reflected=22.0,
    table="table4000.bin",
)


@pytest.fixture(scope="module")
def celsius():
    frame = np.random.default_rng(3).uniform(-40.0, 250.0, (24, 32)).astype(np.float32)
    frame[0, :4] = -999.0
    return frame


def metadata(description: str) -> dict:
    return dict(line.split("=", 1) for line in description.splitlines() if "=" in line)


def assert_info(description: str, info: thermo.FrameInfo) -> None:
    fields = metadata(description)
    assert int(fields["frame_id"]) == info.frame_id
    assert float(fields["emissivity"]) == pytest.approx(info.emissivity)
    assert float(fields["reflected_c"]) == pytest.approx(info.reflected)
    assert float(fields["internal_c"]) == pytest.approx(info.internal)
    assert fields["table"] == info.table


@pytest.mark.parametrize(
    "write, values, pil_mode",
    [
        (thermo.write_celsius_tiff, "celsius", "F"),
        (thermo.write_raw16_tiff, "raw", "I;16"),
    ],
)
def test_tiffs_read_back_bit_exact_with_their_metadata(tmp_path, celsius, write, values, pil_mode):
    frame = (
        celsius
        if values == "celsius"
        else (np.arange(celsius.size) * 21 % 16384).astype(np.uint16).reshape(celsius.shape)
    )
    path = tmp_path / "frame.tiff"
    write(path, frame, INFO)
    with tifffile.TiffFile(path) as tiff:
        page = tiff.pages[0]
        read = page.asarray()
        assert_info(page.description, INFO)
    assert read.dtype == frame.dtype and read.tobytes() == frame.tobytes()  # top row first
    with Image.open(path) as image:
        assert image.mode == pil_mode
        np.testing.assert_array_equal(np.array(image), frame)


def test_csv_reads_back_with_numpy(tmp_path, celsius):
    path = tmp_path / "frame.csv"
    thermo.write_celsius_csv(path, celsius, frame_id=9)
    np.testing.assert_array_equal(np.loadtxt(path, delimiter=",", dtype=np.float32), celsius)
    assert "frame_id=9" in path.read_text().replace(" ", "")


@pytest.mark.parametrize("name", ["picture.png", "picture.bmp"])
def test_pictures_keep_their_pixels(tmp_path, celsius, name):
    rgb = np.random.default_rng(5).integers(0, 256, (*celsius.shape, 3), dtype=np.uint8)
    thermo.write_picture(tmp_path / name, rgb)
    with Image.open(tmp_path / name) as image:
        np.testing.assert_array_equal(np.array(image.convert("RGB")), rgb)


@pytest.mark.parametrize("max_frames", [None, 3])
def test_a_recording_holds_one_page_per_frame(tmp_path, celsius, max_frames):
    path = tmp_path / "clip.tiff"
    frames = [celsius + step for step in range(3)]
    with thermo.TiffRecording(path, 32, 24, max_frames) as recording:
        for number, frame in enumerate(frames):
            recording.add(frame, INFO, frame_id=number, time=1.7e9 + number / 60)
        with pytest.raises(ValueError, match="32 x 24"):
            recording.add(celsius[:, :16])
        if max_frames is not None:
            with pytest.raises(ThermographyError) as caught:
                recording.add(celsius)
            assert caught.value.code == thermo.ThermographyCode.OUT_OF_RANGE
    assert recording.closed and recording.frames == 3
    recording.close()  # again: harmless
    with pytest.raises(ValueError, match="closed"):
        recording.add(celsius)
    with tifffile.TiffFile(path) as tiff:
        assert tiff.is_bigtiff == (max_frames is None)
        assert len(tiff.pages) == 3
        for number, (page, frame) in enumerate(zip(tiff.pages, frames)):
            assert page.asarray().tobytes() == frame.tobytes()
            assert int(metadata(page.description)["frame_id"]) == number


@pytest.mark.parametrize(
    "name, write",
    [
        ("frame.tiff", lambda path, f: thermo.write_celsius_tiff(path, f)),
        ("frame.csv", lambda path, f: thermo.write_celsius_csv(path, f)),
        (
            "frame.png",
            lambda path, f: thermo.write_picture(path, np.zeros((*f.shape, 3), np.uint8)),
        ),
        ("clip.tiff", lambda path, f: thermo.TiffRecording(path, 32, 24)),
    ],
)
def test_unwritable_paths_raise_os_errors_and_leave_nothing(tmp_path, celsius, name, write):
    with pytest.raises(OSError):
        write(tmp_path / "absent" / name, celsius)
    with pytest.raises(ValueError, match="NUL"):
        write(str(tmp_path / f"a\0{name}"), celsius)
    (tmp_path / "folder").mkdir()
    with pytest.raises(OSError):
        write(tmp_path / "folder", celsius)
    assert [path.name for path in tmp_path.iterdir()] == ["folder"]


@pytest.mark.parametrize(
    "name, write, code",
    [
        ("frame.tiff", lambda p, f: thermo.write_celsius_tiff(p, f, time=-1.0), "INVALID_ARGUMENT"),
        (
            "frame.gif",
            lambda p, f: thermo.write_picture(p, np.zeros((2, 2, 3), np.uint8)),
            "INVALID_ARGUMENT",
        ),
    ],
)
def test_a_refused_write_leaves_the_previous_file_as_it_was(tmp_path, celsius, name, write, code):
    target = tmp_path / name
    target.write_bytes(b"previous")
    with pytest.raises(ThermographyError) as caught:
        write(target, celsius)
    assert caught.value.code == thermo.ThermographyCode[code]
    assert [path.name for path in tmp_path.iterdir()] == [name]
    assert target.read_bytes() == b"previous"


def test_malformed_frames_are_refused_before_anything_is_written(tmp_path, celsius):
    with pytest.raises(TypeError, match="uint16"):
        thermo.write_raw16_tiff(tmp_path / "raw.tiff", celsius)
    with pytest.raises(ValueError, match="empty"):
        thermo.write_celsius_tiff(tmp_path / "empty.tiff", np.zeros((0, 4), np.float32))
    with pytest.raises(ValueError, match=r"\(height, width, 3\)"):
        thermo.write_picture(tmp_path / "p.png", np.zeros((4, 4, 4), np.uint8))
    for beyond in (2**32, -(2**31) - 1):
        with pytest.raises(ValueError, match="32 bits"):
            thermo.write_celsius_csv(tmp_path / "c.csv", celsius, frame_id=beyond)
    assert list(tmp_path.iterdir()) == []
    # A camera's negative frame ID is written as its 32 bits without sign.
    thermo.write_celsius_csv(tmp_path / "c.csv", celsius, frame_id=-2)
    assert "frame_id=4294967294" in (tmp_path / "c.csv").read_text().replace(" ", "")
