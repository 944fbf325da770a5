// Off Windows the system has no camera driver of its own: the library names
// the port that SystemDriverPort() stands for. Until it does, that port has no
// device (every open returns kInvalidDeviceHandle).
#pragma once

#include "platform/driver_port.h"

namespace kt::platform {

// Returns the port; called on each use of the system port, so that a port
// built on first use (the simulated driver attaches its first camera then) is
// built when a device is first used, not when it is registered.
using SystemDriverPortProvider = DriverPort& (*)();

// Registers the system port for the whole process; nullptr returns to the port
// with no device. Register before any device is opened.
void RegisterSystemDriverPort(SystemDriverPortProvider provider);

}  // namespace kt::platform
