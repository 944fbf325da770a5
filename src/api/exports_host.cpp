// The host extras of kolthermo_host.h: the host message window for hosts off
// Windows. Each export forwards to the platform layer and turns any exception
// into its failure result, so nothing crosses the C boundary.
#include "kolthermo/kolthermo_host.h"
#include "platform/host_window.h"
#include "platform/posix/host_message_window.h"

namespace {

static_assert(KOLTHERMO_HOST_QUEUE_LIMIT == kt::platform::kHostQueueLimit);

void* ToWindow(KolThermoHWND window) { return static_cast<void*>(window); }

}  // namespace

extern "C" {

KOLTHERMO_API KolThermoHWND KolThermoHost_CreateWindow(void) {
  try {
    return static_cast<KolThermoHWND>(kt::platform::CreateHostMessageWindow());
  } catch (...) {
    return nullptr;
  }
}

KOLTHERMO_API int KolThermoHost_DestroyWindow(KolThermoHWND window) {
  try {
    return kt::platform::DestroyHostMessageWindow(ToWindow(window)) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

KOLTHERMO_API int KolThermoHost_WaitMessage(KolThermoHWND window, int timeout_ms,
                                            KolThermoHostMessage* message) {
  try {
    if (message == nullptr) return KOLTHERMO_HOST_BAD_WINDOW;
    kt::platform::HostMessage taken{};
    switch (kt::platform::WaitHostMessage(ToWindow(window), timeout_ms, &taken)) {
      case kt::platform::HostWaitResult::kMessage:
        message->message = taken.message;
        message->wparam = taken.wparam;
        message->lparam = taken.lparam;
        return KOLTHERMO_HOST_MESSAGE;
      case kt::platform::HostWaitResult::kTimeout:
        return KOLTHERMO_HOST_TIMEOUT;
      case kt::platform::HostWaitResult::kBadWindow:
        break;
    }
    return KOLTHERMO_HOST_BAD_WINDOW;
  } catch (...) {
    return KOLTHERMO_HOST_BAD_WINDOW;
  }
}

KOLTHERMO_API int KolThermoHost_GetFd(KolThermoHWND window) {
  try {
    return kt::platform::HostMessageWindowFd(ToWindow(window));
  } catch (...) {
    return -1;
  }
}

KOLTHERMO_API int KolThermoHost_PendingCount(KolThermoHWND window) {
  try {
    return kt::platform::PendingHostMessages(ToWindow(window));
  } catch (...) {
    return -1;
  }
}

KOLTHERMO_API int KolThermoHost_PostMessage(KolThermoHWND window, unsigned int message,
                                            uintptr_t wparam, intptr_t lparam) {
  try {
    return kt::platform::PostHostMessage(ToWindow(window), message, wparam, lparam) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
