#include "camera/frame_id.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace kt {
namespace {

// Scripted sources: the values are handed out in order, the last one repeated.
std::vector<uint32_t> g_ticks;
std::vector<int> g_randoms;
size_t g_tick_at = 0;
size_t g_random_at = 0;

uint32_t NextTick() { return g_ticks[std::min(g_tick_at++, g_ticks.size() - 1)]; }
int NextRandom() { return g_randoms[std::min(g_random_at++, g_randoms.size() - 1)]; }

void Script(std::vector<uint32_t> ticks, std::vector<int> randoms) {
  g_ticks = std::move(ticks);
  g_randoms = std::move(randoms);
  g_tick_at = 0;
  g_random_at = 0;
}

TEST(FrameIdTest, TickTimesRandomPlusOffsetInThirtyTwoBits) {
  Script({1000}, {17});
  EXPECT_EQ(17001, FormFrameIdFrom(1, NextTick, NextRandom));
  Script({0x80000000u}, {3});
  EXPECT_EQ(static_cast<int32_t>(0x80000000u), FormFrameIdFrom(0, NextTick, NextRandom));
}

TEST(FrameIdTest, AZeroIdIsFormedAgain) {
  // Single frames: tick x 0 is 0, so the next random value is drawn.
  Script({1000, 1001}, {0, 5});
  EXPECT_EQ(5005, FormFrameIdFrom(0, NextTick, NextRandom));
  // Capture loop: 0xFFFFFFFF x 1 + 1 wraps to 0.
  Script({0xFFFFFFFFu, 7}, {1, 2});
  EXPECT_EQ(15, FormFrameIdFrom(1, NextTick, NextRandom));
}

TEST(FrameIdTest, LibraryFormUsesTheClockAndTheRuntimeGenerator) {
  EXPECT_NE(0, FormFrameId(0));
  EXPECT_NE(0, FormFrameId(1));
}

}  // namespace
}  // namespace kt
