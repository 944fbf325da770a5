// A Windows-style event (manual or auto reset) with a timed wait whose limit is
// measured on the platform clock, so that a test clock shortens it as well.
#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "platform/mutex.h"

namespace kt::platform {

class Event {
 public:
  enum class ResetMode { kManual, kAuto };

  explicit Event(ResetMode mode, bool initially_set = false)
      : mode_(mode), signalled_(initially_set) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // Signals the event: a manual-reset event wakes every waiter and stays set; an
  // auto-reset event lets exactly one waiter through and clears again.
  void Set() EXCLUDES(mutex_);
  void Reset() EXCLUDES(mutex_);
  // Waits until the event is set or `ms` clock milliseconds pass (kInfinite: no
  // limit). Returns true when the event was set.
  bool Wait(uint32_t ms) EXCLUDES(mutex_);

 private:
  const ResetMode mode_;
  Mutex mutex_;
  ConditionVariable cv_;  // signalled when the event is set
  bool signalled_ GUARDED_BY(mutex_);
};

}  // namespace kt::platform
