#include "platform/driver_port.h"
#include "sim/sim_driver.h"

namespace kt::sim {

ScopedSimDriver::ScopedSimDriver() : previous_(platform::InstalledDriverPort()) {
  platform::InstallDriverPort(&driver_);
}

ScopedSimDriver::~ScopedSimDriver() { platform::InstallDriverPort(previous_); }

}  // namespace kt::sim
