// The simulated-camera controls of kolthermo_host.h. Each export works on the
// process's simulated driver (the library's transport off Windows), refuses a
// bad slot or argument with 0 and turns any exception into 0.
#include <cmath>
#include <memory>

#include "kolthermo/kolthermo_host.h"
#include "sim/frame_generator.h"
#include "sim/radiometric_model.h"
#include "sim/sim_driver.h"

namespace {

// Runs `action` on the camera at `slot`; 0 when there is none. The reference
// keeps the camera alive for the whole action, even when another thread
// detaches it meanwhile.
template <typename Action>
int WithCamera(int slot, Action action) {
  try {
    const std::shared_ptr<kt::sim::SimCamera> camera = kt::sim::SimDriver::Default().camera(slot);
    if (camera == nullptr) return 0;
    return action(*camera) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

template <typename Action>
int Guarded(Action action) {
  try {
    return action() ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace

extern "C" {

KOLTHERMO_API int KolThermoHost_SimAttach(int slot) {
  return Guarded([&] { return kt::sim::SimDriver::Default().Attach(slot) != nullptr; });
}

KOLTHERMO_API int KolThermoHost_SimDetach(int slot) {
  return Guarded([&] { return kt::sim::SimDriver::Default().Detach(slot); });
}

KOLTHERMO_API int KolThermoHost_SimUnplug(int slot) {
  return Guarded([&] { return kt::sim::SimDriver::Default().Unplug(slot); });
}

KOLTHERMO_API int KolThermoHost_SimReplug(int slot) {
  return Guarded([&] { return kt::sim::SimDriver::Default().Replug(slot); });
}

KOLTHERMO_API int KolThermoHost_SimSetFault(int slot, int fault, int value) {
  if (value < 0) return 0;
  return WithCamera(slot, [&](kt::sim::SimCamera& camera) {
    switch (fault) {
      case KOLTHERMO_SIM_FAULT_SHORT_FRAMES:
        camera.ShortFrames(value);
        return true;
      case KOLTHERMO_SIM_FAULT_FAIL_TRANSFERS:
        camera.FailTransfers(value);
        return true;
      case KOLTHERMO_SIM_FAULT_STALL_FRAMES:
        camera.StallFrames(value != 0);
        return true;
      case KOLTHERMO_SIM_FAULT_FAIL_REGISTER_READS:
        camera.FailRegisterReads(value != 0);
        return true;
      case KOLTHERMO_SIM_FAULT_UNPLUG_AFTER_REQUESTS:
        camera.UnplugAfterRequests(value);
        return true;
      default:
        return false;
    }
  });
}

KOLTHERMO_API int KolThermoHost_SimTriggerPulse(int slot) {
  return WithCamera(slot, [](kt::sim::SimCamera& camera) {
    camera.TriggerPulse();
    return true;
  });
}

KOLTHERMO_API int KolThermoHost_SimSetInternalTemperature(int slot, float celsius) {
  if (!std::isfinite(celsius)) return 0;
  return WithCamera(slot, [&](kt::sim::SimCamera& camera) {
    camera.SetInternalTemperature(celsius);
    return true;
  });
}

KOLTHERMO_API int KolThermoHost_SimClearInternalTemperature(int slot) {
  return WithCamera(slot, [](kt::sim::SimCamera& camera) {
    camera.ClearInternalTemperature();
    return true;
  });
}

KOLTHERMO_API int KolThermoHost_SimGetInternalTemperature(int slot, float* celsius) {
  if (celsius == nullptr) return 0;
  return WithCamera(slot, [&](kt::sim::SimCamera& camera) {
    *celsius = camera.internal_temperature();
    return true;
  });
}

KOLTHERMO_API int KolThermoHost_SimSetFrameRate(int slot, double frames_per_second) {
  if (!std::isfinite(frames_per_second) || frames_per_second < 0.0 || frames_per_second > 10000.0) {
    return 0;
  }
  return WithCamera(slot, [&](kt::sim::SimCamera& camera) {
    camera.SetFrameRate(frames_per_second);
    return true;
  });
}

KOLTHERMO_API int KolThermoHost_SimSetScene(int slot, int kind, float celsius) {
  namespace radiometric = kt::sim::radiometric;
  return WithCamera(slot, [&](kt::sim::SimCamera& camera) {
    switch (kind) {
      case KOLTHERMO_SIM_SCENE_DEFAULT:
        camera.SetScene(kt::sim::MakeDefaultScene());
        return true;
      case KOLTHERMO_SIM_SCENE_UNIFORM:
        if (!(celsius >= radiometric::kMinSceneC && celsius <= radiometric::kMaxSceneC)) {
          return false;
        }
        camera.SetScene(kt::sim::MakeUniformScene(celsius));
        return true;
      case KOLTHERMO_SIM_SCENE_ALL_CODES:
        camera.SetScene(kt::sim::MakeAllCodesScene());
        return true;
      default:
        return false;
    }
  });
}

KOLTHERMO_API int KolThermoHost_SimSetUniformSurface(int slot, float celsius, float emissivity,
                                                     float reflected_c) {
  namespace radiometric = kt::sim::radiometric;
  const auto in_scene_range = [](float t) {
    return t >= radiometric::kMinSceneC && t <= radiometric::kMaxSceneC;  // false for NaN
  };
  if (!in_scene_range(celsius) || !in_scene_range(reflected_c) ||
      !(emissivity > 0.0f && emissivity <= 1.0f)) {
    return 0;
  }
  return WithCamera(slot, [&](kt::sim::SimCamera& camera) {
    camera.SetScene(
        kt::sim::MakeUniformScene(radiometric::Surface{celsius, emissivity, reflected_c}));
    return true;
  });
}

}  // extern "C"
