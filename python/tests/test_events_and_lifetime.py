"""Host window messages (also through asyncio), camera lifetime and the simulator."""

from __future__ import annotations

import asyncio

import pytest

import kolthermo
from kolthermo import CameraEvent, EventCode, FrameReady, KolThermoError, sim

from conftest import limit


def test_asyncio_receives_frame_ids_and_event_codes(streaming):
    streaming.window.clear()

    async def collect():
        frames, codes = [], []
        async for message in streaming.events():
            if isinstance(message, FrameReady):
                frames.append(message.frame_id)
                if len(frames) == 3:
                    # Refused parameter 16 queues code 10 and posts it as an event.
                    with pytest.raises(KolThermoError):
                        streaming.set_param(16, 1)
            elif isinstance(message, CameraEvent):
                codes.append(message.code)
                return frames, codes

    frames, codes = asyncio.run(asyncio.wait_for(collect(), timeout=limit(3.0)))
    assert len(set(frames)) == len(frames) >= 3
    assert codes == [EventCode.NOT_SUPPORTED]
    # The frames announced may have left the ring by now: hold the newest.
    streaming.pause()
    try:
        assert streaming.raw(streaming.latest_frame_id).shape == (288, 384)
    finally:
        streaming.resume()


def test_closing_the_window_ends_the_asyncio_iteration():
    window = kolthermo.HostWindow()
    assert window.post(0x400, 1, -7)

    async def consume():
        seen = []
        async for message in window.messages():
            seen.append(message)
            window.close()
        return seen

    seen = asyncio.run(asyncio.wait_for(consume(), timeout=limit(2.0)))
    assert seen == [kolthermo.OtherMessage(0x400, 1, -7)]
    window.close()  # again: harmless
    with pytest.raises(ValueError):
        window.fileno()


def test_one_asyncio_reader_per_window():
    with kolthermo.HostWindow() as window:

        async def two_readers():
            first = window.messages()
            window.post(0x400)
            await first.__anext__()
            with pytest.raises(RuntimeError):
                await window.messages().__anext__()
            await first.aclose()
            second = window.messages()  # free again once the first has ended
            window.post(0x401)
            assert (await second.__anext__()).message == 0x401
            await second.aclose()

        asyncio.run(asyncio.wait_for(two_readers(), timeout=limit(2.0)))


def test_context_manager_releases_the_instance_and_its_window(c_lib):
    with kolthermo.Camera() as camera:
        instance_id, handle = camera.id, camera.window.handle
        assert c_lib.KolThermo_GetParam(instance_id, 1) == 384
        assert c_lib.KolThermoHost_GetFd(handle) >= 0
    assert c_lib.KolThermo_GetParam(instance_id, 1) == 0  # unknown to the library now
    assert c_lib.KolThermoHost_GetFd(handle) == -1
    assert not camera.is_open
    camera.close()  # again: harmless
    with pytest.raises(kolthermo.CameraClosedError):
        camera.raw()
    with pytest.raises(kolthermo.CameraClosedError):
        camera.preview()


def test_an_exception_in_the_block_still_releases(c_lib):
    with pytest.raises(RuntimeError):
        with kolthermo.Camera(window=None) as camera:
            instance_id = camera.id
            raise RuntimeError("host failure")
    assert c_lib.KolThermo_GetParam(instance_id, 1) == 0


def test_cameras_lists_attached_slots():
    sim.attach(3)
    listed = kolthermo.cameras()
    assert [info.slot for info in listed] == [0, 3]
    assert all(info.name.startswith("KolThermoV7R2K") for info in listed)
    assert listed[0].name != listed[1].name
    with kolthermo.Camera(3) as camera:
        assert camera.cameras() == listed
        assert EventCode.INVALID_ARGUMENT not in camera.take_codes()


def test_opening_an_empty_slot_raises_camera_not_available():
    with pytest.raises(KolThermoError) as caught:
        kolthermo.Camera(5).open()
    assert caught.value.code == EventCode.CAMERA_NOT_AVAILABLE


def test_one_shot_and_silent_failures(camera):
    frame_id = camera.one_shot()
    assert frame_id != 0 and camera.raw(frame_id).shape == (288, 384)
    camera.preview()
    with pytest.raises(KolThermoError) as caught:
        camera.one_shot()  # refused while previewing, without a code
    assert caught.value.code == EventCode.NONE
    camera.stop()
    assert camera.previewing is False


def test_internal_temperature_and_its_failure(camera):
    sim.set_internal_temperature(0, 31.5)
    assert camera.internal_temperature == pytest.approx(31.5, abs=0.05)
    sim.set_fault(0, sim.Fault.FAIL_REGISTER_READS, 1)
    with pytest.raises(KolThermoError) as caught:
        camera.internal_temperature
    assert caught.value.code == EventCode.DEVICE_CONTROL_FAILED


def test_simulator_scene_reaches_the_frames(camera):
    with sim.uniform_scene(0, 100.0):
        hot = camera.raw(camera.one_shot())
    cold_id = camera.one_shot()
    assert hot.mean() > camera.raw(cold_id).mean()
    with pytest.raises(ValueError):
        sim.set_scene(0, sim.Scene.UNIFORM, 1000.0)
    with pytest.raises(ValueError):
        sim.detach(6)


def test_uniform_scene_surfaces_send_the_radiance_of_their_emissivity(camera):
    """Raw codes are affine in the radiance received: a surface reflecting its own
    temperature looks like a blackbody at it, a low emissivity reflecting a cold
    room reads the room more than the surface."""
    sim.set_internal_temperature(0, 30.0)

    def mean_code(**surface) -> float:
        sim.set_scene(0, sim.Scene.UNIFORM, **surface)
        return float(camera.raw(camera.one_shot()).mean())

    blackbody = mean_code(celsius=60.0)
    assert mean_code(celsius=60.0, emissivity=0.2, reflected=60.0) == pytest.approx(blackbody, abs=1)
    room = mean_code(celsius=22.0)
    plate = mean_code(celsius=60.0, emissivity=0.1, reflected=22.0)
    assert room < plate < room + 0.2 * (blackbody - room)
    for refused in (
        dict(celsius=60.0, emissivity=0.0),
        dict(celsius=60.0, emissivity=1.5),
        dict(celsius=60.0, emissivity=0.5, reflected=300.0),
    ):
        with pytest.raises(ValueError):
            sim.set_scene(0, sim.Scene.UNIFORM, **refused)
    with pytest.raises(ValueError):
        sim.set_scene(0, sim.Scene.DEFAULT, emissivity=0.5)


def test_codes_raised_between_calls_are_kept_for_take_codes(camera, c_lib, tmp_path):
    with pytest.raises(KolThermoError) as caught:
        camera.save(tmp_path / "x.bmp")
    assert caught.value.codes == [EventCode.NO_FRAME_TO_SAVE]
    c_lib.KolThermo_SetParam(camera.id, 16, 0)  # queues code 10 behind the package's back
    camera.nuc_hold_ms = 5
    assert camera.take_codes() == [EventCode.NOT_SUPPORTED]
    assert camera.take_codes() == []
