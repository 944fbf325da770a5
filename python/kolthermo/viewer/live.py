"""The camera behind the page: owned by the server's asyncio loop.

Everything here runs on the loop's one thread: the host window's descriptor
is watched with ``add_reader``, each wake-up takes every waiting message and
renders only the newest frame (a slow pass never builds a backlog), and the
page's requests are handled between frames. A lost camera (event code 4) is
shown as lost; preview is restarted at once after a replug from the
simulator panel, and otherwise every few seconds until frames come again.
"""

from __future__ import annotations

import asyncio
import math
import time
from typing import Callable, List, Optional

import numpy as np

from .. import sim
from .. import thermography as thermo
from ..camera import Camera
from ..errors import EventCode, KolThermoError
from ..host import CameraEvent, FrameReady
from . import frames
from .captures import Captures
from .settings import ViewSettings

# While lost, preview is restarted when no frame came for this long (a table's
# NUC hold keeps the first second or so of frames back after each start).
RETRY_S = 3.0


def is_simulated() -> bool:
    """Whether the cameras are the library's simulated ones (they are off Windows)."""
    try:
        sim.internal_temperature(0)
    except (ValueError, AttributeError):
        return False
    return True


class LiveCamera:
    def __init__(
        self,
        slot: int,
        table: Optional[str],
        settings: ViewSettings,
        captures: Captures,
        publish: Callable[[bytes], None],
        announce: Callable[[], None],
    ) -> None:
        self.settings = settings
        self.captures = captures
        self.simulated = is_simulated()
        self.state = "starting"  # "live", "lost" or "starting"; the loop's thread only
        self.last_event: Optional[str] = None
        self._table = table
        self._publish = publish
        self._announce = announce
        self._camera = Camera(slot)
        self._fd: Optional[int] = None
        self._celsius: Optional[np.ndarray] = None  # the newest frame shown, row 0 at the top
        self._frame_id = 0
        self._started = 0.0  # monotonic time of the last preview start
        self._watchdog: Optional[asyncio.Task] = None
        # Whether any page is open: frames nobody sees are not coloured.
        self.watched: Callable[[], bool] = lambda: True

    # ---- lifetime -------------------------------------------------------

    def start(self) -> None:
        camera = self._camera.open()
        camera.fetch_flipped = True  # row 0 at the top, as the page draws it
        if self._table is not None:
            camera.load_table(self._table)
        self._restart()
        loop = asyncio.get_running_loop()
        assert camera.window is not None
        self._fd = camera.window.fileno()
        loop.add_reader(self._fd, self._on_messages)
        self._watchdog = loop.create_task(self._watch())

    def close(self) -> None:
        if self._watchdog is not None:
            self._watchdog.cancel()
        if self._fd is not None:
            asyncio.get_running_loop().remove_reader(self._fd)
            self._fd = None
        try:
            self.captures.stop_recording()
        finally:
            self._camera.close()  # stops acquisition and releases the camera

    @property
    def width(self) -> int:
        return self._camera.width

    @property
    def height(self) -> int:
        return self._camera.height

    @property
    def slot(self) -> int:
        return self._camera.slot

    def cameras(self) -> List[dict]:
        return [{"slot": info.slot, "name": info.name} for info in self._camera.cameras()]

    def _restart(self) -> None:
        """Closes acquisition (as a lost camera needs) and previews again."""
        camera = self._camera
        if camera.previewing:
            try:
                camera.stop()
            except KolThermoError:
                pass  # a lost stream reports its failed transfer here
        camera.take_codes()
        camera.window.clear()  # type: ignore[union-attr]
        self._started = time.monotonic()
        camera.preview()

    async def _watch(self) -> None:
        while True:
            await asyncio.sleep(RETRY_S / 2)
            if self.state == "lost" and time.monotonic() - self._started >= RETRY_S:
                try:
                    self._restart()
                except KolThermoError:
                    pass  # still gone; try again later

    # ---- frames ---------------------------------------------------------

    def _on_messages(self) -> None:
        newest: Optional[int] = None
        stamp = time.time() * 1000.0
        window = self._camera.window
        if window is None:
            return
        for message in window.drain():
            if isinstance(message, FrameReady):
                newest = message.frame_id
            elif isinstance(message, CameraEvent):
                code = message.code
                self.last_event = code.name if isinstance(code, EventCode) else str(code)
                if code == EventCode.CAMERA_LOST:
                    newest = None  # whatever came before the loss is stale
                    self._set_state("lost")
        if newest is not None:
            self._show(newest, stamp)

    def _set_state(self, state: str) -> None:
        if state != self.state:
            self.state = state
            self._announce()

    def _temperatures(self, frame_id: int) -> np.ndarray:
        settings = self.settings
        if settings.corrects:
            return self._camera.temperature(
                frame_id, emissivity=settings.emissivity, reflected=settings.reflected
            )
        return self._camera.temperature(frame_id)

    def _show(self, frame_id: int, stamp: float) -> None:
        try:
            celsius = self._temperatures(frame_id)
        except (KolThermoError, thermo.ThermographyError):
            return  # the frame left the ring already, or the parameters refuse it
        self._celsius, self._frame_id = celsius, frame_id
        self._set_state("live")
        if self.watched():
            self._publish(frames.render(celsius, self.settings, frame_id, stamp))
        if self.captures.recording is not None:
            self.captures.add(celsius, self._info())

    def _info(self) -> thermo.FrameInfo:
        try:
            internal = self._camera.internal_temperature
        except KolThermoError:
            internal = math.nan
        return thermo.FrameInfo(
            frame_id=self._frame_id,  # FrameInfo stores its 32 bits unsigned
            internal=internal,
            emissivity=self.settings.emissivity,
            reflected=self.settings.reflected,
            table=self._table,
        )

    # ---- the page's requests ---------------------------------------------

    def snapshot(self) -> List[str]:
        if self._celsius is None:
            raise ValueError("no frame yet")
        rgb = thermo.colorize(self._celsius, self.settings.palette, self.settings.colour_range)
        return self.captures.snapshot(self._celsius, rgb, self._info())

    def record(self, on: bool) -> Optional[str]:
        if on:
            return self.captures.start_recording(
                # Named by the ID's 32 bits unsigned, as the files store it.
                self.width, self.height, self._frame_id & 0xFFFFFFFF
            )
        return self.captures.stop_recording()

    def select(self, slot: int) -> None:
        if slot not in [info["slot"] for info in self.cameras()]:
            raise ValueError(f"no camera in slot {slot}")
        self.captures.stop_recording()  # frames of another camera do not belong in it
        if self._camera.previewing:
            try:
                self._camera.stop()
            except KolThermoError:
                pass
        self._camera.select(slot)
        self._set_state("starting")
        self._restart()

    def simulate(self, action: str, celsius: Optional[float] = None) -> None:
        if not self.simulated:
            raise ValueError("the camera is not simulated")
        slot = self.slot
        if action == "unplug":
            sim.unplug(slot)
        elif action == "replug":
            sim.replug(slot)
            self._restart()
        elif action == "scene-default":
            sim.set_scene(slot, sim.Scene.DEFAULT)
        elif action == "scene-uniform":
            if celsius is None or not -40.0 <= celsius <= 250.0:
                raise ValueError("the uniform scene takes -40 to 250 degrees")
            sim.set_scene(slot, sim.Scene.UNIFORM, celsius)
        else:
            raise ValueError(f"no simulator action {action!r}")
