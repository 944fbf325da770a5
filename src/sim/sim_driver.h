// The simulated camera driver: answers the driver port exactly as the camera's
// kernel-mode driver would, for up to eight cameras at device slots 0 to 7. It
// is the transport of the library on Linux and lets tests everywhere drive the
// whole pipeline without hardware.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/driver_port.h"
#include "sim/command_log.h"
#include "sim/sim_camera.h"

namespace kt::sim {

class SimDriver final : public platform::DriverPort {
 public:
  // A driver with no camera attached.
  SimDriver();
  ~SimDriver() override;
  SimDriver(const SimDriver&) = delete;
  SimDriver& operator=(const SimDriver&) = delete;

  // The process-wide driver behind the Linux driver port: one camera at slot 0
  // when first used.
  static SimDriver& Default();

  // Attaches a fresh camera at `slot` (0..7); the existing one if there is one.
  // nullptr for a slot outside 0..7. Cameras are shared: a caller's reference
  // keeps the camera alive through a concurrent Detach, after which it is
  // simply unreachable from the driver.
  std::shared_ptr<SimCamera> Attach(int slot);
  // Removes the camera at `slot`; open handles to it fail from then on.
  bool Detach(int slot);
  // Unplugging keeps the camera (and its registers) but makes it unreachable:
  // opens fail, requests on open handles fail, blocked frame reads end.
  bool Unplug(int slot);
  bool Replug(int slot);
  // The camera at `slot`, or nullptr.
  std::shared_ptr<SimCamera> camera(int slot);

  CommandLog& log() { return log_; }

  // Driver port.
  platform::DeviceHandle Open(const char* path) override;
  bool IoControl(platform::DeviceHandle handle, uint32_t code, const void* input,
                 uint32_t input_size, void* output, uint32_t output_size,
                 uint32_t* returned) override;
  bool Close(platform::DeviceHandle handle) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  CommandLog log_;
};

// Installs a fresh simulated driver (no cameras) as the process's driver port
// for the life of the object and restores the port installed before; tests
// attach the cameras they need.
class ScopedSimDriver {
 public:
  ScopedSimDriver();
  ~ScopedSimDriver();
  ScopedSimDriver(const ScopedSimDriver&) = delete;
  ScopedSimDriver& operator=(const ScopedSimDriver&) = delete;
  SimDriver& driver() { return driver_; }

 private:
  platform::DriverPort* const previous_;  // installed before this scope; nullptr = the system port
  SimDriver driver_;
};

}  // namespace kt::sim
