"""Frame: one published frame of a camera, its arrays fetched when first asked for."""

from __future__ import annotations

from typing import TYPE_CHECKING, Dict, Optional, Tuple

import numpy as np

if TYPE_CHECKING:
    from .camera import Camera

_ObjectKey = Tuple[Optional[float], Optional[float], Optional[float], Optional[float]]


class Frame:
    """A frame the camera published, by frame ID.

    ``timestamp`` is ``time.time()`` taken when the package learned of the
    frame (the frame-ready message was taken from the window, or the frame ID
    was read): the library keeps no time of its own per frame.

    ``raw()``, ``color()`` and ``temperature()`` fetch from the camera on the
    first call and then return the same array, made read-only because it is
    shared; ``.copy()`` it to change it. The library keeps only its newest few
    frames (``camera.ring_size``): fetching a frame that has left the ring
    raises KolThermoError with ``EventCode.INVALID_ARGUMENT``, so fetch soon,
    or pause the camera to hold the newest frame.
    """

    __slots__ = ("camera", "frame_id", "timestamp", "_raw", "_color", "_temperatures")

    def __init__(self, camera: "Camera", frame_id: int, timestamp: float) -> None:
        self.camera = camera
        self.frame_id = frame_id
        self.timestamp = timestamp
        self._raw: Optional[np.ndarray] = None
        self._color: Optional[np.ndarray] = None
        self._temperatures: Dict[_ObjectKey, np.ndarray] = {}

    def raw(self) -> np.ndarray:
        """The raw codes, ``uint16`` (height, width); see Camera.raw."""
        if self._raw is None:
            self._raw = _shared(self.camera.raw(self.frame_id))
        return self._raw

    def color(self) -> np.ndarray:
        """The false-colour picture, ``uint8`` (height, width, 3) RGB; see Camera.color."""
        if self._color is None:
            self._color = _shared(self.camera.color(self.frame_id))
        return self._color

    def temperature(
        self,
        *,
        emissivity: Optional[float] = None,
        reflected: Optional[float] = None,
        transmission: Optional[float] = None,
        atmosphere: Optional[float] = None,
    ) -> np.ndarray:
        """Degrees Celsius, ``float32`` (height, width); see Camera.temperature.

        Each set of object parameters is fetched (and corrected) once.
        """
        key = (emissivity, reflected, transmission, atmosphere)
        values = self._temperatures.get(key)
        if values is None:
            values = _shared(
                self.camera.temperature(
                    self.frame_id,
                    emissivity=emissivity,
                    reflected=reflected,
                    transmission=transmission,
                    atmosphere=atmosphere,
                )
            )
            self._temperatures[key] = values
        return values

    def __repr__(self) -> str:
        return f"<Frame id={self.frame_id} timestamp={self.timestamp:.3f}>"


def _shared(array: np.ndarray) -> np.ndarray:
    array.flags.writeable = False
    return array
