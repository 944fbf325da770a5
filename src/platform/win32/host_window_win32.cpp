// On Windows the host window is a real window and the system queues the posts.
#include <windows.h>

#include "platform/host_window.h"

namespace kt::platform {

bool PostHostMessage(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (window == nullptr) return false;
  // PostMessageW checks the handle itself and fails for one that is not a
  // window, or when the window's queue is full.
  return PostMessageW(static_cast<HWND>(window), message, static_cast<WPARAM>(wparam),
                      static_cast<LPARAM>(lparam)) != FALSE;
}

}  // namespace kt::platform
