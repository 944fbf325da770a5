// The per-instance queue of event codes. Codes are raised by the host's calling
// thread and by the capture thread and taken by the host, newest first.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>

#include "camera/event_codes.h"
#include "platform/mutex.h"

namespace kt {

class CodeStore {
 public:
  CodeStore() = default;
  CodeStore(const CodeStore&) = delete;
  CodeStore& operator=(const CodeStore&) = delete;

  // Stores the code, then posts it to the host window when one is set. Never
  // blocks on the host: a full or vanished host window only loses the post.
  void Raise(EventCode code);
  // Posts the frame-ready message for `frame_id`; nothing is stored.
  void AnnounceFrame(int32_t frame_id);
  // Removes and returns the most recent code, or 0 when none waits.
  uint32_t TakeNewest();
  // Number of codes waiting (tests and diagnostics).
  size_t size() const;

  void SetHostWindow(void* window) { host_window_.store(window, std::memory_order_release); }
  void* host_window() const { return host_window_.load(std::memory_order_acquire); }

 private:
  mutable Mutex mutex_;
  std::deque<uint32_t> codes_ GUARDED_BY(mutex_);  // newest at the back
  // Replaced by the host at any time, read afresh by every post.
  std::atomic<void*> host_window_{nullptr};
};

}  // namespace kt
