// Listing the attached cameras and selecting one.
#include <cstdio>

#include "camera/kol_thermo.h"

namespace kt {
namespace {

constexpr char kCameraNamePrefix[] = "KolThermoV7R2K";

}  // namespace

bool CKolThermo::IsCameraEnable(int slot, char16_t* name, int size_chars) {
  if (size_chars < kCameraNameChars || name == nullptr) {
    Raise(EventCode::kInvalidArgument);
    return false;
  }
  if (slot < 0 || slot >= device_.DeviceCount()) {
    Raise(EventCode::kInvalidArgument);
    return false;
  }
  if (device_.IsPresent(slot) == 0) return false;
  char narrow[32] = {};
  std::snprintf(narrow, sizeof narrow, "%s_%02d", kCameraNamePrefix, slot + 1);
  for (int i = 0; i < kCameraNameChars; ++i) name[i] = static_cast<char16_t>(narrow[i]);
  return true;
}

bool CKolThermo::SetCameraNumber(int slot) {
  if (acquisition_.SelectCamera(slot)) return true;
  Raise(EventCode::kCameraNotAvailable);
  return false;
}

}  // namespace kt
