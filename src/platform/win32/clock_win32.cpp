#include <windows.h>
// mmsystem.h needs the types of windows.h first.
#include <mmsystem.h>

#include "platform/clock.h"

namespace kt::platform {
namespace {

class Win32Clock final : public Clock {
 public:
  uint32_t TimerTickMs() override { return timeGetTime(); }
  uint32_t SystemTickMs() override { return GetTickCount(); }
  void SleepMs(uint32_t ms) override { Sleep(ms); }
  std::chrono::nanoseconds RealDuration(uint32_t ms) override {
    return std::chrono::milliseconds(ms);
  }
};

}  // namespace

Clock& SystemClock() {
  static Win32Clock clock;
  return clock;
}

}  // namespace kt::platform
