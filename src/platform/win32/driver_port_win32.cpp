// The system driver port on Windows: the camera's kernel-mode driver through
// CreateFileA, synchronous DeviceIoControl and CloseHandle.
#include <windows.h>

#include "platform/driver_port.h"

namespace kt::platform {
namespace {

HANDLE ToNative(DeviceHandle handle) { return reinterpret_cast<HANDLE>(handle); }

class Win32DriverPort final : public DriverPort {
 public:
  DeviceHandle Open(const char* path) override {
    if (path == nullptr) return kNullDeviceHandle;
    const HANDLE handle =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    // INVALID_HANDLE_VALUE converts to kInvalidDeviceHandle (-1).
    return reinterpret_cast<DeviceHandle>(handle);
  }

  bool IoControl(DeviceHandle handle, uint32_t code, const void* input, uint32_t input_size,
                 void* output, uint32_t output_size, uint32_t* returned) override {
    DWORD moved = 0;
    // The driver only reads the input buffer; the system's signature is not const.
    const BOOL ok = DeviceIoControl(ToNative(handle), code, const_cast<void*>(input), input_size,
                                    output, output_size, &moved, nullptr);
    if (returned != nullptr) *returned = moved;
    return ok != FALSE;
  }

  bool Close(DeviceHandle handle) override { return CloseHandle(ToNative(handle)) != FALSE; }
};

}  // namespace

DriverPort& SystemDriverPort() {
  static Win32DriverPort port;
  return port;
}

}  // namespace kt::platform
