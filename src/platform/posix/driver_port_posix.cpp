// Linux has no camera driver: the simulated camera driver is the system's.
#include "platform/driver_port.h"
#include "sim/sim_driver.h"

namespace kt::platform {

DriverPort& SystemDriverPort() { return sim::SimDriver::Default(); }

}  // namespace kt::platform
