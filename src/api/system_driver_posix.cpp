// Off Windows the simulated camera driver is the library's transport. It is
// registered by name from here rather than by a static initializer, which a
// link from static libraries would be free to drop.
#include "api/system_driver.h"
#include "platform/posix/system_driver_port.h"
#include "sim/sim_driver.h"

namespace kt {
namespace {

platform::DriverPort& SimulatedDriver() { return sim::SimDriver::Default(); }

}  // namespace

void PrepareSystemDriver() { platform::RegisterSystemDriverPort(&SimulatedDriver); }

}  // namespace kt
