// A real host window for tests: a message-only window on Windows, the host
// message window elsewhere. Messages are read back on the creating thread.
#pragma once

#include <cstdint>

namespace kt::test {

struct PostedMessage {
  uint32_t message = 0;
  uintptr_t wparam = 0;
  intptr_t lparam = 0;
};

class HostWindowProbe {
 public:
  HostWindowProbe();
  ~HostWindowProbe();
  HostWindowProbe(const HostWindowProbe&) = delete;
  HostWindowProbe& operator=(const HostWindowProbe&) = delete;

  // The handle to give the library (HWND on Windows).
  void* handle() const { return handle_; }
  // The next message posted to the window, waiting up to `timeout_ms` (on the
  // run's time scale, like every limit below); false when none arrives.
  bool Next(PostedMessage* out, int timeout_ms);
  // The frame ID of the next frame-ready message, skipping other messages;
  // 0 when none arrives within `timeout_ms` of the previous message.
  int NextFrame(int timeout_ms = 3000);
  // True once event `code` is posted; false when the messages stop first.
  bool AwaitEvent(intptr_t code, int timeout_ms = 5000);
  // Drops every message waiting now.
  void Drain();

 private:
  void* handle_ = nullptr;
};

}  // namespace kt::test
