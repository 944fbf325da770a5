// The display window on Windows: the handle is an HWND and its device context
// an HDC obtained with GetDC.
#include <windows.h>

#include "platform/display_window.h"

namespace kt::platform {
namespace {

HWND ToHwnd(void* window) { return static_cast<HWND>(window); }

}  // namespace

bool GetDisplayClientSize(void* window, int* width, int* height) {
  if (window == nullptr || width == nullptr || height == nullptr) return false;
  RECT client{};
  // GetClientRect checks the handle and fails for one that is not a window.
  if (!::GetClientRect(ToHwnd(window), &client)) return false;
  *width = static_cast<int>(client.right - client.left);
  *height = static_cast<int>(client.bottom - client.top);
  return true;
}

bool IsDisplayWindowVisible(void* window) {
  return window != nullptr && ::IsWindowVisible(ToHwnd(window)) != FALSE;
}

bool ReleaseDisplayDc(void* window, DeviceContext dc) {
  if (dc == nullptr) return false;
  return ::ReleaseDC(ToHwnd(window), reinterpret_cast<HDC>(dc)) == 1;
}

bool DestroyDisplayWindow(void* window) {
  return window != nullptr && ::DestroyWindow(ToHwnd(window)) != FALSE;
}

bool UnregisterDisplayWindowClass(const char16_t* class_name) {
  if (class_name == nullptr || class_name[0] == u'\0') return false;
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16");
  return ::UnregisterClassW(reinterpret_cast<const wchar_t*>(class_name),
                            ::GetModuleHandleW(nullptr)) != FALSE;
}

}  // namespace kt::platform
