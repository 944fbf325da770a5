"""Snapshots and recordings, written only into the viewer's one output folder.

The page never names a file: it asks for a snapshot or a recording and the
server chooses the name (kind, local time, frame ID, and a counter should the
name be taken), so nothing the page sends can reach another folder.
"""

from __future__ import annotations

import os
import time
from pathlib import Path
from typing import List, Optional

import numpy as np

from .. import thermography as thermo

_MOST_TRIES = 1000


class Captures:
    def __init__(self, folder: Path) -> None:
        self.folder = folder.resolve()
        self.folder.mkdir(parents=True, exist_ok=True)
        self._recording: Optional[thermo.TiffRecording] = None

    def _free_stem(self, kind: str, frame_id: int, suffixes: List[str]) -> Path:
        """A name in the folder that none of ``suffixes`` takes yet."""
        stem = f"{kind}-{time.strftime('%Y%m%d-%H%M%S')}-{frame_id}"
        for attempt in range(_MOST_TRIES):
            name = stem if attempt == 0 else f"{stem}-{attempt}"
            candidate = self.folder / name
            if not any(candidate.with_suffix(s).exists() for s in suffixes):
                return candidate
        raise FileExistsError(f"no free name for {stem} in {self.folder}")

    def snapshot(self, celsius: np.ndarray, rgb: np.ndarray, info: thermo.FrameInfo) -> List[str]:
        """Writes the temperatures as a float TIFF and the picture as PNG; returns the names."""
        stem = self._free_stem("snapshot", info.frame_id, [".tiff", ".png"])
        tiff, png = stem.with_suffix(".tiff"), stem.with_suffix(".png")
        thermo.write_celsius_tiff(tiff, celsius, info)
        thermo.write_picture(png, rgb)
        return [tiff.name, png.name]

    @property
    def recording(self) -> Optional[str]:
        """The name of the recording in progress, if any."""
        return None if self._recording is None else Path(self._recording.path).name

    def start_recording(self, width: int, height: int, frame_id: int) -> str:
        if self._recording is None:
            path = self._free_stem("recording", frame_id, [".tiff"]).with_suffix(".tiff")
            self._recording = thermo.TiffRecording(path, width, height)
        return Path(self._recording.path).name

    def add(self, celsius: np.ndarray, info: thermo.FrameInfo) -> None:
        if self._recording is not None:
            self._recording.add(celsius, info)

    def stop_recording(self) -> Optional[str]:
        """Finishes the recording; returns its name and page count as text."""
        recording, self._recording = self._recording, None
        if recording is None:
            return None
        recording.close()
        return f"{Path(recording.path).name} ({recording.frames} frames)"


def default_folder() -> Path:
    """kolthermo-view under the current directory, else a new folder in the system's temp folder."""
    here = Path.cwd() / "kolthermo-view"
    try:
        here.mkdir(exist_ok=True)
        if os.access(here, os.W_OK):
            return here
    except OSError:
        pass
    import tempfile

    return Path(tempfile.mkdtemp(prefix="kolthermo-view-"))
