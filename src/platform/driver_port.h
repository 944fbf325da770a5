// The driver port: how the device layer reaches the camera's driver. Three
// calls, exactly as the Windows driver is used: open a device path (CreateFileA
// with write access and write sharing, open-existing), one synchronous
// I/O-control request, close. On Windows the system port is the kernel-mode
// driver; on Linux it is the port the library registers, the simulated camera
// driver (platform/posix/system_driver_port.h). Tests may install the
// simulated driver on any platform.
#pragma once

#include <cstdint>

namespace kt::platform {

// A device handle as the system returns it: 0 is the null handle and -1 the
// invalid-handle value that a failed CreateFileA returns.
using DeviceHandle = intptr_t;
inline constexpr DeviceHandle kNullDeviceHandle = 0;
inline constexpr DeviceHandle kInvalidDeviceHandle = -1;

class DriverPort {
 public:
  virtual ~DriverPort() = default;
  // Opens a device path; kInvalidDeviceHandle when there is no such device.
  virtual DeviceHandle Open(const char* path) = 0;
  // One synchronous request: `input` carries `input_size` bytes to the driver,
  // `output` is the data buffer of `output_size` bytes (the driver reads it for
  // requests toward the camera and fills it for requests toward the host).
  // Returns true on success with the bytes moved in *returned.
  virtual bool IoControl(DeviceHandle handle, uint32_t code, const void* input, uint32_t input_size,
                         void* output, uint32_t output_size, uint32_t* returned) = 0;
  virtual bool Close(DeviceHandle handle) = 0;
};

// The platform's own driver port.
DriverPort& SystemDriverPort();

// The port in use: the installed one, or the system port.
DriverPort& CurrentDriverPort();

// Installs a port for the whole process (nullptr restores the system port).
// Install only while no device object exists.
void InstallDriverPort(DriverPort* port);

// The installed port, or nullptr when the system port is in use (so that a
// scope can restore what it replaced).
DriverPort* InstalledDriverPort();

}  // namespace kt::platform
