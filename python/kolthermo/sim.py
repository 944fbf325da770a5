"""Controls of the simulated cameras that stand in for the driver off Windows.

The simulator is process-wide: slots 0 to 7, one camera at slot 0 when the
process starts. Every function raises ValueError when the library refuses
(a slot outside 0..7, a slot without a camera, or an argument out of range).
"""

from __future__ import annotations

import ctypes
from contextlib import contextmanager
from typing import Iterator

from ._header_enum import header_enum
from ._library import library

# Faults of set_fault; UNPLUG_AFTER_REQUESTS with 0 unplugs at once.
Fault = header_enum(
    "Fault", "SIM_FAULT_", "Simulated faults (KOLTHERMO_SIM_FAULT_*).", __name__
)

# Scenes of set_scene; UNIFORM shows one temperature from -40 to 250 degrees.
Scene = header_enum(
    "Scene", "SIM_SCENE_", "Simulated scenes (KOLTHERMO_SIM_SCENE_*).", __name__
)


DEFAULT_FRAME_RATE = 30.0


def _check(result: int, what: str) -> None:
    if result != 1:
        raise ValueError(f"simulated camera: {what} refused")


def attach(slot: int) -> None:
    """Attaches a fresh camera at ``slot`` (no change when one is there)."""
    _check(library().KolThermoHost_SimAttach(slot), f"attach at slot {slot}")


def detach(slot: int) -> None:
    """Removes the camera; handles open on it fail from then on."""
    _check(library().KolThermoHost_SimDetach(slot), f"detach at slot {slot}")


def unplug(slot: int) -> None:
    _check(library().KolThermoHost_SimUnplug(slot), f"unplug at slot {slot}")


def replug(slot: int) -> None:
    _check(library().KolThermoHost_SimReplug(slot), f"replug at slot {slot}")


def set_fault(slot: int, fault: int, value: int) -> None:
    """Switches a Fault on (value > 0) or off (0); UNPLUG_AFTER_REQUESTS with 0 unplugs now."""
    _check(library().KolThermoHost_SimSetFault(slot, int(fault), value), f"fault {fault}")


def trigger_pulse(slot: int) -> None:
    """One pulse on the camera's trigger input."""
    _check(library().KolThermoHost_SimTriggerPulse(slot), f"trigger pulse at slot {slot}")


def set_internal_temperature(slot: int, celsius: float) -> None:
    """Fixes the sensor's internal temperature."""
    _check(
        library().KolThermoHost_SimSetInternalTemperature(slot, celsius),
        f"internal temperature {celsius}",
    )


def clear_internal_temperature(slot: int) -> None:
    """Returns the internal temperature to the warm-up model."""
    _check(library().KolThermoHost_SimClearInternalTemperature(slot), "clear internal temperature")


def internal_temperature(slot: int) -> float:
    value = ctypes.c_float()
    _check(
        library().KolThermoHost_SimGetInternalTemperature(slot, ctypes.byref(value)),
        f"internal temperature of slot {slot}",
    )
    return value.value


def set_frame_rate(slot: int, frames_per_second: float) -> None:
    """Frames per second, 0 to 10000 (0: each frame as soon as it is read)."""
    _check(
        library().KolThermoHost_SimSetFrameRate(slot, frames_per_second),
        f"frame rate {frames_per_second}",
    )


def set_scene(
    slot: int,
    scene: int = Scene.DEFAULT,
    celsius: float = 20.0,
    emissivity: float = 1.0,
    reflected: float | None = None,
) -> None:
    """Chooses the scene; ``celsius`` is the uniform scene's temperature.

    The uniform scene may show a surface that is not a blackbody: of
    ``emissivity`` (above 0, at most 1), reflecting surroundings at
    ``reflected`` degrees (default: the surface's own temperature). The camera
    then reports the blackbody temperature of the radiance it receives. The
    other scenes take neither.
    """
    if emissivity == 1.0 and reflected is None:
        _check(library().KolThermoHost_SimSetScene(slot, int(scene), celsius), f"scene {scene}")
        return
    if int(scene) != Scene.UNIFORM:
        raise ValueError(
            "simulated camera: only the uniform scene takes an emissivity or reflected temperature"
        )
    reflected_c = celsius if reflected is None else reflected
    _check(
        library().KolThermoHost_SimSetUniformSurface(slot, celsius, emissivity, reflected_c),
        f"uniform surface at {celsius} with emissivity {emissivity}, reflecting {reflected_c}",
    )


@contextmanager
def uniform_scene(slot: int, celsius: float) -> Iterator[None]:
    """Shows a uniform scene for the ``with`` block, then the default scene again."""
    set_scene(slot, Scene.UNIFORM, celsius)
    try:
        yield
    finally:
        set_scene(slot, Scene.DEFAULT)
