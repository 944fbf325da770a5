// Every request the simulated driver receives, with its bytes and result, so
// that tests can assert exactly what the library sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/mutex.h"

namespace kt::sim {

enum class RequestKind { kOpen, kIoControl, kClose };

struct LoggedRequest {
  RequestKind kind = RequestKind::kIoControl;
  int slot = -1;      // camera slot of the handle or path; -1 when none
  uint32_t code = 0;  // I/O-control code
  uint32_t pipe = 0;  // pipe index from the request's input
  // Command bytes for a write toward the camera (64), the reply bytes for a
  // reply read; empty for frame reads, opens and closes.
  std::vector<uint8_t> bytes;
  uint32_t requested = 0;  // output buffer size
  uint32_t returned = 0;   // bytes moved
  bool ok = false;
  uint32_t tick_ms = 0;  // clock tick when the request ended
};

class CommandLog {
 public:
  // The log keeps at least the newest kLimit entries (and at most twice as
  // many), so a process streaming for days does not grow without end. A
  // stream adds a few entries a frame: the limit keeps well over a second of
  // history (every command of a start-up) in a few hundred KiB, where a larger
  // one would keep a host's memory growing for many minutes.
  static constexpr size_t kLimit = 4096;

  void Append(LoggedRequest entry);
  std::vector<LoggedRequest> Snapshot() const;
  // The commands the camera accepted on the command pipe, in order (all
  // slots, or one); failed writes are in Snapshot() only.
  std::vector<std::vector<uint8_t>> Commands(int slot = -1) const;
  void Clear();

 private:
  mutable Mutex mutex_;
  std::vector<LoggedRequest> entries_ GUARDED_BY(mutex_);
};

}  // namespace kt::sim
