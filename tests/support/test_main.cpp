// Test entry point. Library waits are measured on the platform clock, so every
// test runs on a clock that goes kTestClockScale times faster than real time:
// start-up pauses, frame pacing and multi-second limits pass in a fraction of
// the time. Tests that need another clock install their own for their scope;
// the real clock is always reachable as platform::SystemClock().
#include <gtest/gtest.h>

#include "platform/clock.h"

namespace {

constexpr double kTestClockScale = 20.0;

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  kt::platform::ScaledClock fast_clock(kTestClockScale);
  kt::platform::InstallClock(&fast_clock);
  const int result = RUN_ALL_TESTS();
  kt::platform::InstallClock(nullptr);
  return result;
}
