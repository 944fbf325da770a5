// Test entry point. Library waits are measured on the platform clock, so every
// test runs on a clock that goes kTestClockScale times faster than real time:
// start-up pauses, frame pacing and multi-second limits pass in a fraction of
// the time. Tests that need another clock install their own for their scope;
// the real clock is always reachable as platform::SystemClock().
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/clock.h"

namespace {

constexpr double kTestClockScale = 20.0;

// KOLTHERMO_TEST_CLOCK_SCALE overrides the speed-up for runs under tools that
// slow the library down many times over (valgrind): there the driver's frame
// limit, 6000 clock ms, would pass before a slowed frame arrives.
double ClockScale() {
  const char* text = std::getenv("KOLTHERMO_TEST_CLOCK_SCALE");
  const double scale = text != nullptr ? std::atof(text) : 0.0;
  return scale >= 1.0 ? scale : kTestClockScale;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  kt::platform::ScaledClock fast_clock(ClockScale());
  kt::platform::InstallClock(&fast_clock);
  const int result = RUN_ALL_TESTS();
  kt::platform::InstallClock(nullptr);
  return result;
}
