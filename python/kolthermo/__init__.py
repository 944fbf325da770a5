"""Python binding of the KolThermo SDK (ctypes over libkolthermo.so.1).

    import kolthermo
    with kolthermo.Camera() as camera:
        camera.preview()
        frame = camera.wait_settled()
        celsius = frame.temperature()              # top row first
        objects = frame.temperature(emissivity=0.95, reflected=20.0)
        for frame in camera.frames(10):
            print(frame.frame_id, frame.raw().max())

kolthermo.thermography corrects, measures, colours and writes temperature
frames held in numpy arrays.

The libraries are loaded from KOLTHERMO_LIBRARY (and
KOLTHERMO_THERMOGRAPHY_LIBRARY) when set, else from the copies a wheel
bundles in kolthermo/_lib, else through the system's library search.
"""

from . import thermography
from ._library import DEFAULT_LIBRARY_NAME, LIBRARY_ENV, dll_version, library, library_path
from .camera import Camera
from .constants import (
    SAVE_FORMAT_NAMES,
    Param,
    RecordingMode,
    SaveFormat,
    recording_mode_number,
    save_format_number,
)
from .enumeration import CameraInfo, cameras
from .errors import CameraClosedError, EventCode, KolThermoError, describe
from .frame import Frame
from .host import MSG_EVENT, MSG_FRAME_READY, CameraEvent, FrameReady, HostWindow, OtherMessage
from .recording import Recording

__all__ = [
    "Camera",
    "CameraClosedError",
    "CameraEvent",
    "CameraInfo",
    "DEFAULT_LIBRARY_NAME",
    "EventCode",
    "Frame",
    "FrameReady",
    "HostWindow",
    "KolThermoError",
    "LIBRARY_ENV",
    "MSG_EVENT",
    "MSG_FRAME_READY",
    "OtherMessage",
    "Param",
    "Recording",
    "RecordingMode",
    "SAVE_FORMAT_NAMES",
    "SaveFormat",
    "cameras",
    "describe",
    "dll_version",
    "library",
    "library_path",
    "recording_mode_number",
    "save_format_number",
    "thermography",
]

__version__ = "1.0.0"
