#include "sim/command_log.h"

#include <new>

#include "protocol/camera_protocol.h"

namespace kt::sim {

void CommandLog::Append(LoggedRequest entry) {
  MutexLock lock(mutex_);
  // The log of a long-running process must not grow without end: past twice
  // the limit the oldest half goes, so the newest kLimit entries always stay.
  if (entries_.size() >= 2 * kLimit) {
    entries_.erase(entries_.begin(), entries_.begin() + static_cast<ptrdiff_t>(kLimit));
  }
  try {
    entries_.push_back(std::move(entry));
  } catch (const std::bad_alloc&) {
    // Out of memory: the request goes unlogged, as the driver goes on.
  }
}

std::vector<LoggedRequest> CommandLog::Snapshot() const {
  MutexLock lock(mutex_);
  return entries_;
}

std::vector<std::vector<uint8_t>> CommandLog::Commands(int slot) const {
  MutexLock lock(mutex_);
  std::vector<std::vector<uint8_t>> commands;
  for (const LoggedRequest& entry : entries_) {
    if (entry.kind != RequestKind::kIoControl || !entry.ok ||
        entry.pipe != protocol::kPipeCommand || entry.bytes.size() != protocol::kCommandSize) {
      continue;
    }
    if (slot >= 0 && entry.slot != slot) continue;
    commands.push_back(entry.bytes);
  }
  return commands;
}

void CommandLog::Clear() {
  MutexLock lock(mutex_);
  entries_.clear();
}

}  // namespace kt::sim
