// The host message window: what a Windows window's message queue gives a host,
// for hosts off Windows. Messages posted with PostHostMessage queue here in
// posting order; the host takes them with a timed wait, or watches a file
// descriptor that is readable exactly while messages wait.
//
// A window handle is an opaque token, never an address: every function looks
// it up among the live windows first, so a stale, foreign or null handle is
// refused without being touched, and a handle is never reused.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kt::platform {

struct HostMessage {
  uint32_t message;
  uintptr_t wparam;
  intptr_t lparam;
};

// Most messages a window holds, as a Windows message queue allows.
inline constexpr size_t kHostQueueLimit = 10000;

enum class HostWaitResult { kMessage, kTimeout, kBadWindow };

// Creates a window; null when out of resources.
void* CreateHostMessageWindow();

// Destroys a live window: drops its messages, fails later posts and wakes its
// waiters with kBadWindow. False for a handle that is not a live window.
bool DestroyHostMessageWindow(void* window);

// Takes the oldest message, waiting at most `timeout_ms` milliseconds
// (0: no wait; negative: no limit). kBadWindow also for a null `message`.
HostWaitResult WaitHostMessage(void* window, int timeout_ms, HostMessage* message);

// The descriptor that polls readable while messages wait, or -1 for a handle
// that is not a live window. It stays owned by the window.
int HostMessageWindowFd(void* window);

// Messages waiting, or -1 for a handle that is not a live window.
int PendingHostMessages(void* window);

}  // namespace kt::platform
