"""Python binding of the KolThermo SDK (ctypes over libkolthermo.so.1).

    import kolthermo
    with kolthermo.Camera() as camera:
        camera.preview()
        frame_id = camera.wait_frame()
        celsius = camera.temperature(frame_id)
        objects = camera.temperature(frame_id, emissivity=0.95, reflected=20.0)

kolthermo.thermography corrects, measures, colours and writes temperature
frames held in numpy arrays.

Set KOLTHERMO_LIBRARY to the library's path, or install libkolthermo.so.1
where the system's loader finds it (KOLTHERMO_THERMOGRAPHY_LIBRARY and
libkolthermo_thermography.so.1 for kolthermo.thermography).
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
from .host import MSG_EVENT, MSG_FRAME_READY, CameraEvent, FrameReady, HostWindow, OtherMessage
from .recording import Recording

__all__ = [
    "Camera",
    "CameraClosedError",
    "CameraEvent",
    "CameraInfo",
    "DEFAULT_LIBRARY_NAME",
    "EventCode",
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
