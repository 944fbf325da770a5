"""Frame objects, frame iteration and waits that Ctrl-C interrupts."""

from __future__ import annotations

import asyncio
import signal
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import kolthermo
from conftest import limit


def test_frames_fetch_on_demand_and_keep_what_they_fetched(streaming):
    frames = list(streaming.frames(3, timeout=limit(2.0)))
    assert len(frames) == 3
    assert frames[0].frame_id != frames[1].frame_id != frames[2].frame_id
    assert frames[0].timestamp <= frames[1].timestamp <= frames[2].timestamp
    newest = frames[-1]
    streaming.pause()  # keeps the frame in the ring for the fetches below
    try:
        raw = newest.raw()
        assert raw is newest.raw() and not raw.flags.writeable
        np.testing.assert_array_equal(raw, streaming.raw(newest.frame_id))
        corrected = newest.temperature(emissivity=0.5)
        assert corrected is newest.temperature(emissivity=0.5)
        assert newest.temperature() is not corrected  # cached per set of object parameters
        assert newest.color().shape == (288, 384, 3)
    finally:
        streaming.resume()


def _post_frames(camera, ids):
    for frame_id in ids:
        assert camera.window.post(kolthermo.MSG_FRAME_READY, 0, frame_id)


def test_iteration_takes_every_frame_or_skips_to_the_newest(camera):
    """Frame-ready messages posted by hand: the camera itself is not previewing."""
    _post_frames(camera, [11, 12, 13])
    assert [f.frame_id for f in camera.frames(2)] == [11, 12]
    assert [f.frame_id for f in camera.frames(1)] == [13]
    _post_frames(camera, [21, 22, 23])
    assert [f.frame_id for f in camera.frames(1, newest=True)] == [23]
    assert camera.window.pending() == 0
    with pytest.raises(TimeoutError):
        next(camera.frames(timeout=0.05))

    async def take(count, newest):
        return [f.frame_id async for f in camera.frames_async(count, newest=newest)]

    for ids, count, newest, expected in [
        ([31, 32, 33], 3, False, [31, 32, 33]),  # ends by itself after the count
        ([41, 42, 43], 1, True, [43]),
    ]:
        _post_frames(camera, ids)
        assert asyncio.run(asyncio.wait_for(take(count, newest), limit(2.0))) == expected


@pytest.mark.parametrize(
    "wait",
    ["camera.wait_frame(3600)", "next(camera.frames(timeout=None))", "camera.window.get(None)"],
)
def test_ctrl_c_interrupts_a_long_wait(wait):
    script = textwrap.dedent(
        f"""
        import kolthermo
        with kolthermo.Camera() as camera:
            print("waiting", flush=True)
            {wait}
        """
    )
    child = subprocess.Popen(
        [sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True
    )
    try:
        assert child.stdout.readline().strip() == "waiting"
        child.send_signal(signal.SIGINT)
        _, errors = child.communicate(timeout=limit(10.0))
    finally:
        child.kill()
        child.wait()
    assert "KeyboardInterrupt" in errors
    assert child.returncode != 0
