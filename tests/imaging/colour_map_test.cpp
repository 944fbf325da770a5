// False-colour mapping: pixel colours against a plain per-pixel computation for
// every raw code and many windows, through the plain and the fastest loops,
// the two loop sets against each other on every small width, the auto-range
// rule and the central area, refused inputs, and mappers sharing a record.
#include "imaging/colour_map.h"

#include <gtest/gtest.h>

#include "imaging/colour_map_loops.h"

#ifdef KOLTHERMO_COLOUR_TESTS_EVERY_TARGET
#include <hwy/targets.h>
#endif

#include <array>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kt {
namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;
constexpr int32_t kMin32 = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax32 = std::numeric_limits<int32_t>::max();

using Bgr = std::array<uint8_t, 3>;
constexpr Bgr kBlack = {0, 0, 0};
constexpr Bgr kWhite = {255, 255, 255};

Bgr PaletteBgr(const ColourMapping& record, int index) {
  const uint32_t entry = record.palette[index];
  return {static_cast<uint8_t>(entry >> 16), static_cast<uint8_t>(entry >> 8),
          static_cast<uint8_t>(entry)};
}

// The mapping of one code written out plainly, as a check on the fast path.
Bgr ExpectedColour(const ColourMapping& record, uint16_t code, int32_t low, int32_t high) {
  if (code <= low) return kBlack;
  if (code >= high) return kWhite;
  const float position =
      static_cast<float>(int64_t{code} - low) * 360.0f / static_cast<float>(int64_t{high} - low);
  const int index = static_cast<int>(position);
  return PaletteBgr(record, index > 359 ? 359 : index);
}

// Calls `body` with the name of each vector instruction set the fastest loops
// were built for and this processor runs, that set chosen in turn; then the
// choice is Highway's again. Builds without vector loops call it once.
template <typename Body>
void ForEachVectorTarget(Body body) {
#ifdef KOLTHERMO_COLOUR_TESTS_EVERY_TARGET
  for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
    hwy::SetSupportedTargetsForTest(target);
    body(hwy::TargetName(target));
  }
  hwy::SetSupportedTargetsForTest(0);
#else
  body("plain only");
#endif
}

class ColourMapTest : public ::testing::Test {
 protected:
  void Make(int width, int height) {
    ASSERT_EQ(raw_.CreateInMemory(width, height, 16), 1);
    stride_ = (width * 3 + 3) & ~3;
    colour_.assign(static_cast<size_t>(stride_) * height, 0xAB);
  }
  void Set(int row, int col, uint16_t code) {
    std::memcpy(raw_.pixels() + row * raw_.stride() + col * 2, &code, 2);
  }
  void Fill(uint16_t code) {
    for (int i = 0; i < raw_.height(); ++i)
      for (int j = 0; j < raw_.width(); ++j) Set(i, j, code);
  }
  Bgr At(int row, int col) const {
    const uint8_t* p = colour_.data() + row * stride_ + col * 3;
    return {p[0], p[1], p[2]};
  }
  bool Map() { return MapFrameToColour(record_, raw_, colour_.data(), stride_); }
  bool MapWith(const ColourMapLoops& loops) {
    return MapFrameToColourWith(loops, record_, raw_, colour_.data(), stride_);
  }
  void Window(int32_t low, int32_t high, int32_t count = 0) {
    record_.low_bound = low;
    record_.high_bound = high;
    record_.auto_range_count = count;
  }
  std::pair<int32_t, int32_t> Bounds() const {
    return {record_.low_bound.load(), record_.high_bound.load()};
  }

  ColourMapping record_;
  CDibSurface raw_;
  int stride_ = 0;
  std::vector<uint8_t> colour_;
};

TEST_F(ColourMapTest, ReferencePointsOfTheDefaultWindow) {
  Make(5, 1);
  const uint16_t codes[] = {1000, 1001, 2000, 2999, 3000};
  for (int j = 0; j < 5; ++j) Set(0, j, codes[j]);
  Window(1000, 3000);
  ASSERT_TRUE(Map());
  EXPECT_EQ(At(0, 0), kBlack);
  EXPECT_EQ(At(0, 1), (Bgr{6, 0, 5}));
  EXPECT_EQ(At(0, 2), PaletteBgr(record_, 180));
  EXPECT_EQ(At(0, 3), (Bgr{255, 253, 255}));
  EXPECT_EQ(At(0, 4), kWhite);
  EXPECT_EQ(colour_[15], 0xAB) << "row padding written";
}

// Every raw code, on a sequence of windows that moves the cached lookup in
// every direction, through the plain loops and the fastest ones, then with the
// lookup unavailable (direct computation).
TEST_F(ColourMapTest, EveryCodeOnEveryKindOfWindow) {
  Make(256, 256);
  for (int code = 0; code < 65536; ++code) Set(code / 256, code % 256, static_cast<uint16_t>(code));
  const std::pair<int32_t, int32_t> windows[] = {
      {1000, 3000},     {1500, 2500},       {500, 4000},      {5000, 5001},
      {5000, 5002},     {1000, 1100},       {1000, 3880},     {0, 16383},
      {-1, 65536},      {3000, 1000},       {2000, 2000},     {1000, 3000},
      {0, 40000000},    {-40000000, 65535}, {kMin32, kMax32}, {-2000000000, 2000000000},
      {kMax32, kMin32}, {70000, 80000},     {-90000, -80000}, {65534, 65536},
      {0, 65535},       {32767, 32769},     {1000, 3000}};
  auto check_every_window = [&](const ColourMapLoops& loops, const std::string& path) {
    record_.lookup_valid = false;
    for (const auto& [low, high] : windows) {
      Window(low, high);
      ASSERT_TRUE(MapWith(loops));
      int mismatches = 0;
      for (int code = 0; code < 65536 && mismatches < 5; ++code) {
        const Bgr expected = ExpectedColour(record_, static_cast<uint16_t>(code), low, high);
        if (At(code / 256, code % 256) != expected) {
          ++mismatches;
          ADD_FAILURE() << "code " << code << " window " << low << ".." << high << " " << path;
        }
      }
    }
  };
  check_every_window(PlainColourMapLoops(), "plain");
  ForEachVectorTarget([&](const std::string& target) {
    check_every_window(FastestColourMapLoops(), "fastest, " + target);
  });
  ASSERT_FALSE(record_.lookup_busy.test_and_set());
  check_every_window(PlainColourMapLoops(), "direct");
}

// The vector loops cover whole vectors and leave the rest of a row, and of the
// central area, to scalar code: every width up to a few vectors gives the same
// pixels and the same next window as the plain loops, and no padding byte.
TEST_F(ColourMapTest, FastestLoopsMatchPlainOnEveryNarrowWidth) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> codes(900, 3100);
  for (int width = 1; width <= 72; ++width) {
    Make(width, 30);
    for (int i = 0; i < 30; ++i)
      for (int j = 0; j < width; ++j) Set(i, j, static_cast<uint16_t>(codes(random)));
    Window(1000, 3000, -1);
    ASSERT_TRUE(MapWith(PlainColourMapLoops()));
    const std::vector<uint8_t> plain = colour_;
    const auto plain_bounds = Bounds();
    ForEachVectorTarget([&](const std::string& target) {
      colour_.assign(colour_.size(), 0xAB);
      Window(1000, 3000, -1);
      ASSERT_TRUE(MapWith(FastestColourMapLoops()));
      EXPECT_EQ(colour_, plain) << "width " << width << ", " << target;
      EXPECT_EQ(Bounds(), plain_bounds) << "width " << width << ", " << target;
    });
  }
}

TEST_F(ColourMapTest, UniformCentreSetsTheWindowForTheNextFrame) {
  Make(kWidth, kHeight);
  Fill(5000);
  ASSERT_TRUE(Map());
  EXPECT_EQ(At(100, 100), kWhite) << "a frame keeps the window it was mapped with";
  EXPECT_EQ(Bounds(), std::make_pair(4880, 5120));
  EXPECT_EQ(record_.auto_range_count.load(), -1);
  ASSERT_TRUE(Map());
  EXPECT_EQ(At(100, 100), PaletteBgr(record_, 180));
}

TEST_F(ColourMapTest, ReRangedBoundsAreClamped) {
  Make(kWidth, kHeight);
  Fill(8000);
  Set(100, 100, 50);
  Set(200, 200, 16300);
  Map();
  EXPECT_EQ(Bounds(), std::make_pair(0, 16383));
  Set(200, 200, 65535);
  Map();
  EXPECT_EQ(Bounds(), std::make_pair(0, 16383));
  Fill(65535);
  Map();
  EXPECT_EQ(Bounds(), std::make_pair(65415, 16383)) << "a saturated centre";
}

TEST_F(ColourMapTest, PositiveCountRunsOutAndZeroNeverReRanges) {
  Make(kWidth, kHeight);
  Fill(5000);
  Window(1000, 3000, 2);
  Map();
  EXPECT_EQ(record_.auto_range_count.load(), 1);
  Fill(7000);
  Map();
  EXPECT_EQ(record_.auto_range_count.load(), 0);
  EXPECT_EQ(Bounds(), std::make_pair(6880, 7120));
  Fill(9000);
  Map();
  EXPECT_EQ(Bounds(), std::make_pair(6880, 7120));
  EXPECT_EQ(record_.auto_range_count.load(), 0);
}

// A frame mapped with following off skips the central area's extremes; when
// the host switches following on before the frame ends, the frame re-ranges
// and must still find them. A host thread switching it back and forth lands
// in that gap now and then; a frame that missed the extremes would set the
// bounds far outside both windows allowed here.
TEST_F(ColourMapTest, FollowingSwitchedOnDuringAFrameStillFindsTheExtremes) {
  Make(kWidth, kHeight);
  Fill(5000);
  Window(1000, 3000);
  std::atomic<bool> stop{false};
  std::thread host([&] {
    while (!stop) {
      record_.auto_range_count = 0;
      std::this_thread::yield();
      record_.auto_range_count = 1;
      std::this_thread::yield();
    }
  });
  int wrong = 0;
  for (int n = 0; n < 500; ++n) {
    Map();
    const auto [low, high] = Bounds();
    if ((low != 1000 && low != 4880) || (high != 3000 && high != 5120)) ++wrong;
  }
  stop = true;
  host.join();
  EXPECT_EQ(wrong, 0);
}

TEST_F(ColourMapTest, OnlyTheCentralAreaSteersTheWindow) {
  Make(kWidth, kHeight);
  // The outer border (rows 0-24 and 264-287, columns 0-24 and 360-383) holds
  // the extremes; the central area's own corners hold its minimum and maximum.
  for (int i = 0; i < kHeight; ++i)
    for (int j = 0; j < kWidth; ++j) Set(i, j, (i + j) % 2 ? 0 : 16383);
  for (int i = 25; i <= 263; ++i)
    for (int j = 25; j <= 359; ++j) Set(i, j, 5000);
  Set(25, 25, 4000);
  Set(263, 359, 6000);
  Map();
  EXPECT_EQ(Bounds(), std::make_pair(3880, 6120));
}

TEST_F(ColourMapTest, RefusesBadInputTouchingNothing) {
  Make(8, 4);
  Fill(5000);
  const std::vector<uint8_t> before = colour_;
  CDibSurface empty;
  EXPECT_FALSE(MapFrameToColour(record_, empty, colour_.data(), stride_));
  CDibSurface colour24;
  ASSERT_EQ(colour24.CreateInMemory(8, 4, 24), 1);
  EXPECT_FALSE(MapFrameToColour(record_, colour24, colour_.data(), stride_));
  EXPECT_FALSE(MapFrameToColour(record_, raw_, nullptr, stride_));
  EXPECT_FALSE(MapFrameToColour(record_, raw_, colour_.data(), 23));
  EXPECT_FALSE(MapFrameToColour(record_, raw_, colour_.data(), -24));
  EXPECT_EQ(colour_, before);
  EXPECT_EQ(Bounds(), std::make_pair(1000, 3000));
  EXPECT_EQ(record_.auto_range_count.load(), -1);
  // A stride of exactly width x 3 is enough.
  EXPECT_TRUE(MapFrameToColour(record_, raw_, colour_.data(), 24));
}

// Two mappers on one record (one of them without the lookup) and a host
// thread changing the window: every frame still comes out in the window's
// colours, and nothing races (the suite also runs under ThreadSanitizer).
TEST_F(ColourMapTest, MappersAndHostShareARecord) {
  Make(64, 48);
  for (int i = 0; i < 48; ++i)
    for (int j = 0; j < 64; ++j) Set(i, j, static_cast<uint16_t>(900 + 50 * i + j));
  Window(1000, 3000);
  std::atomic<bool> stop{false};
  std::thread host([&] {
    while (!stop) {
      Window(1000, 3000);
      std::this_thread::yield();
    }
  });
  auto run = [&](std::vector<uint8_t>& out, int* failures) {
    for (int n = 0; n < 200; ++n) {
      MapFrameToColour(record_, raw_, out.data(), stride_);
      for (int i = 0; i < 48; ++i)
        for (int j = 0; j < 64; ++j) {
          uint16_t code = 0;
          std::memcpy(&code, raw_.pixels() + i * raw_.stride() + j * 2, 2);
          const uint8_t* p = out.data() + i * stride_ + j * 3;
          if (Bgr{p[0], p[1], p[2]} != ExpectedColour(record_, code, 1000, 3000)) ++*failures;
        }
    }
  };
  std::vector<uint8_t> other(colour_.size());
  int failures_a = 0;
  int failures_b = 0;
  std::thread second([&] { run(other, &failures_b); });
  run(colour_, &failures_a);
  second.join();
  stop = true;
  host.join();
  EXPECT_EQ(failures_a + failures_b, 0);
}

}  // namespace
}  // namespace kt
