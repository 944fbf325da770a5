// The system driver port off Windows: a port with no device until the library
// registers its driver, and again once the registration is withdrawn.
#include "platform/posix/system_driver_port.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/driver_port.h"

namespace kt::platform {
namespace {

constexpr DeviceHandle kRegisteredHandle = 42;

class OneDevicePort final : public DriverPort {
 public:
  DeviceHandle Open(const char* /*path*/) override { return kRegisteredHandle; }
  bool IoControl(DeviceHandle handle, uint32_t /*code*/, const void* /*input*/,
                 uint32_t /*input_size*/, void* /*output*/, uint32_t output_size,
                 uint32_t* returned) override {
    *returned = output_size;
    return handle == kRegisteredHandle;
  }
  bool Close(DeviceHandle handle) override { return handle == kRegisteredHandle; }
};

DriverPort& Registered() {
  static OneDevicePort port;
  return port;
}

TEST(SystemDriverPortTest, OnlyARegisteredPortHasDevices) {
  // Nothing in this program creates an instance, so the library registers no
  // driver of its own here, and no test installs a port.
  ASSERT_EQ(InstalledDriverPort(), nullptr);
  struct Case {
    SystemDriverPortProvider provider;
    bool has_device;
  };
  for (const Case& c : {Case{nullptr, false}, Case{&Registered, true}, Case{nullptr, false}}) {
    RegisterSystemDriverPort(c.provider);
    DriverPort& port = CurrentDriverPort();
    EXPECT_EQ(&port == &Registered(), c.has_device);
    const DeviceHandle handle = port.Open("\\\\.\\KolCam-0");
    EXPECT_EQ(handle, c.has_device ? kRegisteredHandle : kInvalidDeviceHandle);
    uint8_t buffer[4] = {};
    uint32_t returned = 99;
    EXPECT_EQ(port.IoControl(handle, 1, nullptr, 0, buffer, sizeof(buffer), &returned),
              c.has_device);
    EXPECT_EQ(returned, c.has_device ? sizeof(buffer) : 0u);
    EXPECT_EQ(port.Close(handle), c.has_device);
  }
}

}  // namespace
}  // namespace kt::platform
