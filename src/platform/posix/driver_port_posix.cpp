// Linux has no camera driver: the system's driver port is the one the library
// registers (the simulated camera driver), and before any registration a port
// with no device behind it.
#include <atomic>

#include "platform/driver_port.h"
#include "platform/posix/system_driver_port.h"

namespace kt::platform {
namespace {

// What the system offers when no driver is registered: nothing to open.
class NoDriverPort final : public DriverPort {
 public:
  DeviceHandle Open(const char* /*path*/) override { return kInvalidDeviceHandle; }
  bool IoControl(DeviceHandle /*handle*/, uint32_t /*code*/, const void* /*input*/,
                 uint32_t /*input_size*/, void* /*output*/, uint32_t /*output_size*/,
                 uint32_t* returned) override {
    if (returned != nullptr) *returned = 0;
    return false;
  }
  bool Close(DeviceHandle /*handle*/) override { return false; }
};

// Set by the registration, read at every use of the system port: atomic.
std::atomic<SystemDriverPortProvider> g_provider{nullptr};

}  // namespace

void RegisterSystemDriverPort(SystemDriverPortProvider provider) {
  g_provider.store(provider, std::memory_order_release);
}

DriverPort& SystemDriverPort() {
  const SystemDriverPortProvider provider = g_provider.load(std::memory_order_acquire);
  if (provider != nullptr) return provider();
  static NoDriverPort no_driver;
  return no_driver;
}

}  // namespace kt::platform
