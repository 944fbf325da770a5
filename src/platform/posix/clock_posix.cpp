#include <time.h>

#include "platform/clock.h"

namespace kt::platform {
namespace {

uint32_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);  // wraps like the Windows counters
}

class PosixClock final : public Clock {
 public:
  uint32_t TimerTickMs() override { return MonotonicMs(); }
  uint32_t SystemTickMs() override { return MonotonicMs(); }
  void SleepMs(uint32_t ms) override {
    timespec ts{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
  }
  std::chrono::nanoseconds RealDuration(uint32_t ms) override {
    return std::chrono::milliseconds(ms);
  }
};

}  // namespace

Clock& SystemClock() {
  static PosixClock clock;
  return clock;
}

}  // namespace kt::platform
