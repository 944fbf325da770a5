#include "platform/driver_port.h"

#include <atomic>

namespace kt::platform {
namespace {

std::atomic<DriverPort*> g_installed{nullptr};

}  // namespace

DriverPort& CurrentDriverPort() {
  DriverPort* installed = g_installed.load(std::memory_order_acquire);
  return installed != nullptr ? *installed : SystemDriverPort();
}

void InstallDriverPort(DriverPort* port) { g_installed.store(port, std::memory_order_release); }

DriverPort* InstalledDriverPort() { return g_installed.load(std::memory_order_acquire); }

}  // namespace kt::platform
