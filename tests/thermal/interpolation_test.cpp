// Interpolation: hand-checked edge cases, and the precomputed sweep compared
// bit for bit with a straightforward scan for every 16-bit raw code.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <random>

#include "table_files.h"

namespace kt {
namespace {

using test::HeaderlessFile;
using test::Load;
using test::Ramp;

// The averaged ten-point interpolation written out as plainly as possible:
// scan, remember every lower point, stop at the first upper one; the window is
// the last ten lower points remembered, zero-filled.
float ReferenceInterpolate(const std::vector<CalibrationPoint>& p, int32_t n_count, int32_t x) {
  if (n_count < 1) return -999.0f;
  const int32_t n = std::min(static_cast<int32_t>(p.size()), n_count);
  thread_local std::vector<int32_t> lower_seen;
  lower_seen.clear();
  int32_t i = 0;
  for (; i < n; ++i) {
    if (p[i].temperature == -999.0f || p[i].raw == x) continue;
    if (p[i].raw > x) break;
    lower_seen.push_back(i);
  }
  if (i == n) return -999.0f;
  int32_t lower_raw[10] = {};
  float lower_t[10] = {};
  for (size_t k = 0; k < 10 && k < lower_seen.size(); ++k) {
    const CalibrationPoint& l = p[lower_seen[lower_seen.size() - 1 - k]];
    lower_raw[k] = l.raw;
    lower_t[k] = l.temperature;
  }
  if (lower_raw[0] == 0 && lower_t[0] == 0.0f) return -999.0f;
  // Up to ten upper points, none past the end of the list.
  const int32_t j = std::min({10, n_count - i, n - i});
  float sum = 0.0f;
  for (int32_t k = 0; k < j; ++k) {
    const CalibrationPoint u = p[i + k];
    // Differences wrap as 32-bit machine arithmetic.
    auto d =
        static_cast<int32_t>(static_cast<uint32_t>(u.raw) - static_cast<uint32_t>(lower_raw[k]));
    if (d == 0) d = 1;
    const auto dx =
        static_cast<int32_t>(static_cast<uint32_t>(x) - static_cast<uint32_t>(lower_raw[k]));
    float term = (u.temperature - lower_t[k]) / static_cast<float>(d);
    term = term * static_cast<float>(dx);
    sum = sum + term;
    sum = sum + lower_t[k];
  }
  return sum / static_cast<float>(j);
}

std::vector<CalibrationPoint> Shuffled(std::vector<CalibrationPoint> points, unsigned seed) {
  std::mt19937 random(seed);
  std::shuffle(points.begin(), points.end(), random);
  return points;
}

struct NamedTable {
  const char* name;
  std::vector<CalibrationPoint> points;
};

std::vector<NamedTable> TablesToCompare() {
  std::vector<NamedTable> tables;
  tables.push_back({"sorted", Ramp(100, 97, 120)});
  tables.push_back({"unsorted", Shuffled(Ramp(50, 61, 200), 1)});
  auto duplicates = Ramp(0, 50, 80);
  for (int m = 0; m < 30; ++m)
    duplicates.push_back({1000 + 50 * (m % 4), 5.0f * static_cast<float>(m)});
  tables.push_back({"duplicates", Shuffled(duplicates, 2)});
  auto skipped = Ramp(10, 40, 100);
  for (size_t m = 0; m < skipped.size(); m += 3) skipped[m].temperature = -999.0f;
  tables.push_back({"no-temperature points", skipped});
  tables.push_back({"one point", {{500, 30.0f}}});
  tables.push_back({"two points", {{500, 30.0f}, {900, 40.0f}}});
  tables.push_back({"eleven points", Ramp(1000, 1000, 11)});
  tables.push_back({"full, beyond 16383", Ramp(3, 4, 16384)});
  auto zero = Ramp(0, 25, 40);
  zero[0].temperature = 0.0f;
  tables.push_back({"raw 0 at 0.0", zero});
  tables.push_back({"extreme codes",
                    {{INT32_MIN, -40.0f},
                     {-5, 1.0f},
                     {70000, 9.0f},
                     {INT32_MAX, 2.0f},
                     {300, -999.0f},
                     {200, 3.0e38f},
                     {65535, -3.0e38f}}});
  std::mt19937 random(3);
  std::uniform_int_distribution<int32_t> code(-100, 66000);
  std::uniform_real_distribution<float> degrees(-60.0f, 600.0f);
  std::vector<CalibrationPoint> noise(3000);
  for (auto& point : noise) point = {code(random), degrees(random)};
  tables.push_back({"random", noise});
  return tables;
}

TEST(Interpolation, SweepMatchesThePlainScanForEveryCode) {
  for (const NamedTable& t : TablesToCompare()) {
    CThermoTable table;
    ASSERT_EQ(Load(table, HeaderlessFile(t.points)), 1) << t.name;
    const auto state = table.Snapshot();
    const auto count = static_cast<int32_t>(t.points.size());
    int32_t mismatches = 0;
    for (int32_t x = 0; x < kLookupEntries; ++x) {
      const float expected = ReferenceInterpolate(t.points, count, x);
      if (std::bit_cast<uint32_t>(table.Interpolate(x)) != std::bit_cast<uint32_t>(expected)) {
        if (++mismatches < 5)
          ADD_FAILURE() << t.name << " raw " << x << ": " << table.Interpolate(x) << " vs "
                        << expected;
      }
      if (x < kCalibratedCodes && count >= 2 &&
          std::bit_cast<uint32_t>(state->lookup[static_cast<size_t>(x)]) !=
              std::bit_cast<uint32_t>(expected)) {
        if (++mismatches < 5) ADD_FAILURE() << t.name << " lookup " << x;
      }
    }
    EXPECT_EQ(mismatches, 0) << t.name;
    for (int32_t x : {-1, -5, 65536, 70001, INT32_MIN, INT32_MAX}) {
      EXPECT_EQ(std::bit_cast<uint32_t>(table.Interpolate(x)),
                std::bit_cast<uint32_t>(ReferenceInterpolate(t.points, count, x)))
          << t.name << " raw " << x;
    }
  }
}

TEST(Interpolation, ScanStopsAtTheDeclaredCountAndTheListEnd) {
  const auto points = Ramp(100, 100, 30);
  for (int32_t count : {1, 2, 11, 30, 45}) {
    std::vector<float> sweep(kLookupEntries);
    SweepInterpolation(points.data(), 20, count, sweep.data());
    for (int32_t x = 0; x < 4000; x += 7) {
      const float plain = InterpolatePoints(points.data(), 20, count, x);
      const std::vector<CalibrationPoint> visible(points.begin(), points.begin() + 20);
      const float expected = ReferenceInterpolate(visible, count, x);
      ASSERT_EQ(std::bit_cast<uint32_t>(plain), std::bit_cast<uint32_t>(expected))
          << count << " " << x;
      ASSERT_EQ(std::bit_cast<uint32_t>(sweep[x]), std::bit_cast<uint32_t>(expected))
          << count << " " << x;
    }
  }
}

// Samples at 100, 200, 300, 400, 500 with temperature 10 + raw / 100.
class FiveSamples : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Load(table_, HeaderlessFile(Ramp(100, 100, 5))), 1); }
  CThermoTable table_;
};

TEST_F(FiveSamples, SampleAtTheCodeItselfIsIgnored) {
  // Pairs (100, 300), (0, 400), (0, 500): (12 + 7 + 6) / 3.
  EXPECT_FLOAT_EQ(table_.Interpolate(200), 25.0f / 3.0f);
}

TEST_F(FiveSamples, JustAboveTheFirstSampleUsesZeroSlots) {
  const double expected =
      ((11.0 + 0.01) + 13.0 / 300.0 * 101 + 14.0 / 400.0 * 101 + 15.0 / 500.0 * 101) / 4.0;
  EXPECT_NEAR(table_.Interpolate(101), expected, 1e-5);
}

TEST_F(FiveSamples, OutsideTheSamplesThereIsNoTemperature) {
  for (int32_t x : {0, 50, 100, 500, 501, 65535, 70000, -3}) {
    EXPECT_EQ(table_.Interpolate(x), kNoTemperature) << x;
  }
}

TEST(Interpolation, FirstUsableSampleDecidesTheLowerEnd) {
  CThermoTable table;
  ASSERT_EQ(Load(table, HeaderlessFile({{10, -999.0f}, {100, 11.0f}, {200, 12.0f}})), 1);
  EXPECT_EQ(table.Interpolate(50), kNoTemperature);
  EXPECT_FLOAT_EQ(table.Interpolate(150), 11.5f);  // one pair: the last point is the upper one
}

TEST(Interpolation, LowerPointAtRawZeroAndZeroDegreesCountsAsMissing) {
  CThermoTable table;
  ASSERT_EQ(Load(table, HeaderlessFile({{0, 0.0f}, {100, 5.0f}, {200, 6.0f}})), 1);
  EXPECT_EQ(table.Interpolate(50), kNoTemperature);
  EXPECT_NE(table.Interpolate(150), kNoTemperature);
}

}  // namespace
}  // namespace kt
