"""A recording request as a context manager."""

from __future__ import annotations

from typing import TYPE_CHECKING

from .constants import Param, RecordingMode

if TYPE_CHECKING:
    from .camera import Camera


class Recording:
    """A recording request; ``with`` stops it on exit."""

    def __init__(self, camera: "Camera", path: str, mode: int) -> None:
        self.camera = camera
        self.path = path
        self.mode = RecordingMode(mode) if 0 <= mode <= 3 else mode

    @property
    def active(self) -> bool:
        """True while the library has a recording file open."""
        return self.camera.recording

    def wait_started(self, timeout: float = 2.0) -> bool:
        """Waits until the capture loop has opened the file; False on time-out."""
        return self.camera.wait_param(Param.RECORDING, lambda value: value != 0, timeout)

    def stop(self, timeout: float = 2.0) -> bool:
        return self.camera.stop_recording(timeout)

    def __enter__(self) -> "Recording":
        return self

    def __exit__(self, *exc_info: object) -> None:
        if self.camera.is_open:
            self.stop()

    def __repr__(self) -> str:
        return f"<Recording {self.mode!r} to {self.path!r}>"
