// Listing the attached cameras and selecting one.
#include <cstdio>

#include "camera/kol_thermo.h"

namespace kt {
namespace {

constexpr char kCameraNamePrefix[] = "KolThermoV7R2K";

}  // namespace

int CKolThermo::IsCameraEnable(int slot, char16_t* name, int size_chars) {
  if (size_chars < kCameraNameChars || name == nullptr) {
    Raise(EventCode::kInvalidArgument);
    return 0;
  }
  if (slot < 0 || slot >= device_.DeviceCount()) {
    Raise(EventCode::kInvalidArgument);
    return 0;
  }
  if (device_.IsPresent(slot) == 0) return 0;
  char narrow[32] = {};
  std::snprintf(narrow, sizeof narrow, "%s_%02d", kCameraNamePrefix, slot + 1);
  for (int i = 0; i < kCameraNameChars; ++i) name[i] = static_cast<char16_t>(narrow[i]);
  return 1;
}

int CKolThermo::SetCameraNumber(int slot) {
  MutexLock control(control_lock_);
  const bool acquiring = state_.load() != 0 || device_.IsStreaming() || device_.IsGrabbing();
  if (!acquiring && device_.IsPresent(slot) != 0 && device_.InitializeCamera(slot) == kDeviceOk) {
    return 1;
  }
  Raise(EventCode::kCameraNotAvailable);
  return 0;
}

}  // namespace kt
