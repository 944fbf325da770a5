#include "support/host_window_probe.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "kolthermo/kolthermo_host.h"
#endif

#include "kolthermo/kolthermo.h"
#include "support/test_time.h"

namespace kt::test {
namespace {

constexpr uint32_t kFrameReady = KOLTHERMO_MSG_FRAME_READY;
constexpr uint32_t kEvent = KOLTHERMO_MSG_EVENT;

}  // namespace

#ifdef _WIN32

HostWindowProbe::HostWindowProbe() {
  handle_ = CreateWindowExW(0, L"STATIC", L"kolthermo-test", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
}

HostWindowProbe::~HostWindowProbe() {
  if (handle_ != nullptr) DestroyWindow(static_cast<HWND>(handle_));
}

bool HostWindowProbe::Next(PostedMessage* out, int timeout_ms) {
  timeout_ms = ScaledMs(timeout_ms);
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    if (PeekMessageW(&msg, static_cast<HWND>(handle_), 0, 0, PM_REMOVE)) {
      out->message = msg.message;
      out->wparam = msg.wParam;
      out->lparam = msg.lParam;
      return true;
    }
    if (GetTickCount() - start >= static_cast<DWORD>(timeout_ms)) return false;
    Sleep(1);
  }
}

#else

HostWindowProbe::HostWindowProbe() { handle_ = KolThermoHost_CreateWindow(); }

HostWindowProbe::~HostWindowProbe() {
  if (handle_ != nullptr) KolThermoHost_DestroyWindow(static_cast<KolThermoHWND>(handle_));
}

bool HostWindowProbe::Next(PostedMessage* out, int timeout_ms) {
  KolThermoHostMessage message{};
  if (KolThermoHost_WaitMessage(static_cast<KolThermoHWND>(handle_), ScaledMs(timeout_ms),
                                &message) != KOLTHERMO_HOST_MESSAGE) {
    return false;
  }
  out->message = message.message;
  out->wparam = message.wparam;
  out->lparam = message.lparam;
  return true;
}

#endif

int HostWindowProbe::NextFrame(int timeout_ms) {
  PostedMessage message;
  while (Next(&message, timeout_ms)) {
    if (message.message == kFrameReady) return static_cast<int>(message.lparam);
  }
  return 0;
}

bool HostWindowProbe::AwaitEvent(intptr_t code, int timeout_ms) {
  PostedMessage message;
  while (Next(&message, timeout_ms)) {
    if (message.message == kEvent && message.lparam == code) return true;
  }
  return false;
}

void HostWindowProbe::Drain() {
  PostedMessage message;
  while (Next(&message, 0)) {
  }
}

}  // namespace kt::test
