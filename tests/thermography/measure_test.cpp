// Measurements against a reference computed here pixel by pixel from the
// definitions of the regions, over random frames with holes; the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "kolthermo/kolthermo_measure.h"

namespace {

constexpr int kWidth = 41;
constexpr int kHeight = 29;

// Temperatures on a 0.25 C grid (so extremes repeat and the first one
// matters), a tenth of them -999.0.
std::vector<float> RandomFrame(std::mt19937& random, int width = kWidth, int height = kHeight) {
  std::uniform_int_distribution<int> quarter(0, 200);
  std::bernoulli_distribution hole(0.1);
  std::vector<float> frame(static_cast<std::size_t>(width) * height);
  for (float& value : frame) value = hole(random) ? -999.0f : 10.0f + 0.25f * quarter(random);
  return frame;
}

using Points = std::vector<std::pair<int, int>>;

// The line's pixels: at each step along the longer axis, the pixel nearest
// the ideal line. Empty when some step is a tie (the test then skips it).
Points NearestLine(int x0, int y0, int x1, int y1) {
  const int dx = x1 - x0, dy = y1 - y0, n = std::max(std::abs(dx), std::abs(dy));
  Points points;
  for (int t = 0; t <= n; ++t) {
    const long num_x = static_cast<long>(t) * dx, num_y = static_cast<long>(t) * dy;
    if (n > 0 && (2 * std::labs(num_x % n) == n || 2 * std::labs(num_y % n) == n)) return {};
    auto nearest = [n](long num) {
      return n == 0 ? 0L : static_cast<long>(std::lround(static_cast<double>(num) / n));
    };
    points.emplace_back(x0 + static_cast<int>(nearest(num_x)),
                        y0 + static_cast<int>(nearest(num_y)));
  }
  return points;
}

// The region's pixels in the order the statistics visit them.
Points RegionPixels(const KolThermoRegion& r) {
  if (r.kind == KOLTHERMO_REGION_LINE) return NearestLine(r.x, r.y, r.end_x, r.end_y);
  Points points;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      bool inside = false;
      if (r.kind == KOLTHERMO_REGION_SPOT) {
        inside = (x - r.x) * (x - r.x) + (y - r.y) * (y - r.y) <= r.radius * r.radius;
      } else {
        inside = x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
        if (inside && r.kind == KOLTHERMO_REGION_ELLIPSE) {
          // Pixel centre relative to the box centre, doubled to stay exact.
          const double cx = 2.0 * x + 1 - (2.0 * r.x + r.width);
          const double cy = 2.0 * y + 1 - (2.0 * r.y + r.height);
          inside = cx * cx * r.height * r.height + cy * cy * r.width * r.width <=
                   1.0 * r.width * r.width * r.height * r.height;
        }
      }
      if (inside) points.emplace_back(x, y);
    }
  }
  return points;
}

KolThermoStats Reference(const std::vector<float>& values, const Points& points) {
  KolThermoStats s{};
  double sum = 0.0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const float v = values[i];
    if (v == -999.0f) continue;
    if (s.count == 0 || v < s.min_c)
      s.min_c = v, s.min_x = points[i].first, s.min_y = points[i].second;
    if (s.count == 0 || v > s.max_c)
      s.max_c = v, s.max_x = points[i].first, s.max_y = points[i].second;
    sum += v;
    ++s.count;
  }
  s.mean_c = sum / s.count;
  double squares = 0.0;
  for (const float v : values) {
    if (v != -999.0f) squares += (v - s.mean_c) * (v - s.mean_c);
  }
  s.stddev_c = std::sqrt(squares / s.count);
  return s;
}

std::vector<float> ValuesAt(const std::vector<float>& frame, const Points& points) {
  std::vector<float> values;
  for (const auto& [x, y] : points)
    values.push_back(frame[static_cast<std::size_t>(y) * kWidth + x]);
  return values;
}

void ExpectStats(const KolThermoStats& got, const KolThermoStats& want, const char* what) {
  EXPECT_EQ(got.count, want.count) << what;
  EXPECT_EQ(got.min_c, want.min_c) << what;
  EXPECT_EQ(got.max_c, want.max_c) << what;
  EXPECT_EQ(std::make_pair(got.min_x, got.min_y), std::make_pair(want.min_x, want.min_y)) << what;
  EXPECT_EQ(std::make_pair(got.max_x, got.max_y), std::make_pair(want.max_x, want.max_y)) << what;
  EXPECT_NEAR(got.mean_c, want.mean_c, 1e-9 * std::fabs(want.mean_c)) << what;
  EXPECT_NEAR(got.stddev_c, want.stddev_c, 1e-9 * want.stddev_c + 1e-12) << what;
}

KolThermoRegion RandomRegion(int kind, std::mt19937& random) {
  auto pick = [&random](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  KolThermoRegion r{};
  r.kind = kind;
  if (kind == KOLTHERMO_REGION_SPOT) {
    r.radius = pick(0, 6);
    r.x = pick(r.radius, kWidth - 1 - r.radius);
    r.y = pick(r.radius, kHeight - 1 - r.radius);
  } else if (kind == KOLTHERMO_REGION_LINE) {
    r.x = pick(0, kWidth - 1), r.y = pick(0, kHeight - 1);
    r.end_x = pick(0, kWidth - 1), r.end_y = pick(0, kHeight - 1);
  } else {
    r.width = pick(1, kWidth), r.height = pick(1, kHeight);
    r.x = pick(0, kWidth - r.width), r.y = pick(0, kHeight - r.height);
  }
  return r;
}

TEST(Measure, EveryKindAgreesWithThePixelByPixelReference) {
  std::mt19937 random(3);
  const std::vector<float> frame = RandomFrame(random);
  for (const int kind : {KOLTHERMO_REGION_SPOT, KOLTHERMO_REGION_BOX, KOLTHERMO_REGION_ELLIPSE,
                         KOLTHERMO_REGION_LINE}) {
    // Random regions, the whole frame and a single pixel in its last corner.
    std::vector<KolThermoRegion> regions = {
        {kind, 0, 0, kWidth, kHeight, kWidth - 1, kHeight - 1, 0},
        {kind, kWidth - 1, kHeight - 1, 1, 1, kWidth - 1, kHeight - 1, 0}};
    for (int i = 0; i < 300; ++i) regions.push_back(RandomRegion(kind, random));
    for (const KolThermoRegion& region : regions) {
      const Points points = RegionPixels(region);
      if (points.empty()) continue;  // a line with a tie
      const std::vector<float> values = ValuesAt(frame, points);
      if (std::count(values.begin(), values.end(), -999.0f) == static_cast<long>(values.size())) {
        continue;  // empty regions are checked below
      }
      KolThermoMeasurement m{};
      m.region = region;
      KolThermoStats got{};
      ASSERT_EQ(KolThermoMeasure(frame.data(), kWidth, kHeight, &m, &got), KOLTHERMO_THERMO_OK);
      ExpectStats(got, Reference(values, points), "kind");
      if (HasFailure()) {
        FAIL() << "kind " << kind << " at " << region.x << "," << region.y << " size "
               << region.width << "x" << region.height << " r " << region.radius << " end "
               << region.end_x << "," << region.end_y;
      }
      if (kind == KOLTHERMO_REGION_LINE) {
        std::vector<float> profile(points.size() + 1, 1.5f);
        int length = -1;
        ASSERT_EQ(KolThermoLineProfile(frame.data(), kWidth, kHeight, &m, profile.data(),
                                       static_cast<int>(points.size()), &length),
                  KOLTHERMO_THERMO_OK);
        EXPECT_EQ(length, static_cast<int>(points.size()));
        profile.pop_back();
        EXPECT_EQ(profile, values);
      }
    }
  }
}

// A camera-sized frame (the vector loops, their tails) whose first
// temperature is its maximum, far from the rest, after three rows of holes;
// a hole and a NaN that take no part.
TEST(Measure, WholeFrameStatisticsAgreeWithTheReference) {
  std::mt19937 random(8);
  std::normal_distribution<float> noise(0.0f, 0.001f);
  constexpr int width = 384, height = 288;
  std::vector<float> frame(static_cast<std::size_t>(width) * height);
  for (float& v : frame) v = 21.5f + noise(random);
  // Rows without temperatures, then the hottest pixel: the region's first
  // temperature is its maximum.
  std::fill(frame.begin(), frame.begin() + 3 * width, -999.0f);
  frame[3 * width] = 480.0f;
  frame[3 * width + 5] = -999.0f;
  frame[3 * width + 7] = std::numeric_limits<float>::quiet_NaN();
  Points points;
  std::vector<float> values;
  for (int i = 0; i < width * height; ++i) {
    if (std::isnan(frame[static_cast<std::size_t>(i)])) continue;
    points.emplace_back(i % width, i / width);
    values.push_back(frame[static_cast<std::size_t>(i)]);
  }
  KolThermoMeasurement m{};
  m.region = {KOLTHERMO_REGION_BOX, 0, 0, width, height, 0, 0, 0};
  KolThermoStats got{};
  ASSERT_EQ(KolThermoMeasure(frame.data(), width, height, &m, &got), KOLTHERMO_THERMO_OK);
  ExpectStats(got, Reference(values, points), "hot first pixel");
}

TEST(Measure, CorrectionAgreesWithTheSingleValueFunction) {
  std::mt19937 random(4);
  const std::vector<float> frame = RandomFrame(random);
  const KolThermoObjectParams object{0.6f, 35.0f, 0.9f, 20.0f};
  // A small box (exact inverse per pixel) and the whole frame (table).
  for (const KolThermoRegion& region :
       {KolThermoRegion{KOLTHERMO_REGION_BOX, 3, 4, 9, 7, 0, 0, 0},
        KolThermoRegion{KOLTHERMO_REGION_BOX, 0, 0, kWidth, kHeight, 0, 0, 0}}) {
    const Points points = RegionPixels(region);
    std::vector<float> values = ValuesAt(frame, points);
    for (float& v : values) {
      if (v != -999.0f) {
        ASSERT_EQ(KolThermoObjectTemperature(v, &object, &v), KOLTHERMO_THERMO_OK);
      }
    }
    const KolThermoStats want = Reference(values, points);
    KolThermoMeasurement m{region, 1, object, KOLTHERMO_ALARM_OFF, 0.0f};
    KolThermoStats got{};
    ASSERT_EQ(KolThermoMeasure(frame.data(), kWidth, kHeight, &m, &got), KOLTHERMO_THERMO_OK);
    EXPECT_EQ(got.count, want.count);
    EXPECT_NEAR(got.mean_c, want.mean_c, 1e-3);
    EXPECT_NEAR(got.stddev_c, want.stddev_c, 1e-3);
    EXPECT_NEAR(got.min_c, want.min_c, 1e-3);
    EXPECT_NEAR(got.max_c, want.max_c, 1e-3);
  }
}

TEST(Measure, AlarmFollowsTheExtremes) {
  const float frame[] = {10.0f, 20.0f, 30.0f, -999.0f};
  struct Case {
    int alarm;
    float threshold;
    int raised;
  };
  const Case cases[] = {{KOLTHERMO_ALARM_OFF, 0.0f, 0},
                        {KOLTHERMO_ALARM_ABOVE, 29.5f, 1},
                        {KOLTHERMO_ALARM_ABOVE, 30.0f, 0},
                        {KOLTHERMO_ALARM_BELOW, 10.5f, 1},
                        {KOLTHERMO_ALARM_BELOW, 10.0f, 0}};
  for (const Case& c : cases) {
    KolThermoMeasurement m{};
    m.region = {KOLTHERMO_REGION_BOX, 0, 0, 2, 2, 0, 0, 0};
    m.alarm = c.alarm;
    m.alarm_c = c.threshold;
    KolThermoStats got{};
    ASSERT_EQ(KolThermoMeasure(frame, 2, 2, &m, &got), KOLTHERMO_THERMO_OK);
    EXPECT_EQ(got.alarm, c.raised) << c.alarm << " " << c.threshold;
  }
}

TEST(Measure, RefusalsLeaveTheStatsAlone) {
  const std::vector<float> frame(static_cast<std::size_t>(kWidth) * kHeight, 25.0f);
  std::vector<float> holes = frame;
  std::fill(holes.begin(), holes.begin() + kWidth, -999.0f);  // the first row has none
  const float nan = std::numeric_limits<float>::quiet_NaN();
  auto with = [](KolThermoRegion r) { return KolThermoMeasurement{r, 0, {1, 20, 1, 20}, 0, 0}; };
  const KolThermoRegion box{KOLTHERMO_REGION_BOX, 0, 0, 4, 4, 0, 0, 0};
  KolThermoMeasurement bad_alarm = with(box), nan_alarm = with(box), bad_object = with(box);
  bad_alarm.alarm = 3;
  nan_alarm.alarm = KOLTHERMO_ALARM_ABOVE, nan_alarm.alarm_c = nan;
  bad_object.correct = 1, bad_object.object.emissivity = 0.0f;
  struct Case {
    const char* what;
    const float* frame;
    int width, height;
    KolThermoMeasurement m;
    int code;
  };
  const int invalid = KOLTHERMO_THERMO_INVALID_ARGUMENT, outside = KOLTHERMO_THERMO_OUTSIDE_FRAME;
  const Case cases[] = {
      {"box past the right edge", frame.data(), kWidth, kHeight,
       with({KOLTHERMO_REGION_BOX, kWidth - 3, 0, 4, 1, 0, 0, 0}), outside},
      {"box above the top", frame.data(), kWidth, kHeight,
       with({KOLTHERMO_REGION_BOX, 0, -1, 2, 2, 0, 0, 0}), outside},
      {"box of width 0", frame.data(), kWidth, kHeight,
       with({KOLTHERMO_REGION_BOX, 0, 0, 0, 2, 0, 0, 0}), outside},
      {"huge ellipse", frame.data(), kWidth, kHeight,
       with({KOLTHERMO_REGION_ELLIPSE, 1, 1, INT32_MAX, INT32_MAX, 0, 0, 0}), outside},
      {"spot reaching the bottom", frame.data(), kWidth, kHeight,
       with({KOLTHERMO_REGION_SPOT, 5, kHeight - 2, 0, 0, 0, 0, 2}), outside},
      {"spot radius -1", frame.data(), kWidth, kHeight,
       with({KOLTHERMO_REGION_SPOT, 5, 5, 0, 0, 0, 0, -1}), outside},
      {"line ending outside", frame.data(), kWidth, kHeight,
       with({KOLTHERMO_REGION_LINE, 0, 0, 0, 0, kWidth, 3, 0}), outside},
      {"no temperature in the row", holes.data(), kWidth, kHeight,
       with({KOLTHERMO_REGION_LINE, 0, 0, 0, 0, kWidth - 1, 0, 0}), KOLTHERMO_THERMO_EMPTY_REGION},
      {"unknown kind", frame.data(), kWidth, kHeight, with({7, 0, 0, 1, 1, 0, 0, 0}), invalid},
      {"unknown alarm", frame.data(), kWidth, kHeight, bad_alarm, invalid},
      {"NaN alarm threshold", frame.data(), kWidth, kHeight, nan_alarm, invalid},
      {"emissivity 0", frame.data(), kWidth, kHeight, bad_object, invalid},
      {"null frame", nullptr, kWidth, kHeight, with(box), invalid},
      {"frame width 0", frame.data(), 0, kHeight, with(box), invalid},
      {"more pixels than an int counts", frame.data(), 65536, 65536, with(box), invalid},
  };
  for (const Case& c : cases) {
    KolThermoStats stats{};
    stats.count = 77;
    EXPECT_EQ(KolThermoMeasure(c.frame, c.width, c.height, &c.m, &stats), c.code) << c.what;
    EXPECT_EQ(stats.count, 77) << c.what;
  }
  const KolThermoMeasurement m = with(box);
  EXPECT_EQ(KolThermoMeasure(frame.data(), kWidth, kHeight, &m, nullptr), invalid);
  EXPECT_EQ(KolThermoMeasure(frame.data(), kWidth, kHeight, nullptr, nullptr), invalid);
}

TEST(LineProfile, AsksForTheLengthAndMarksMissingTemperatures) {
  std::vector<float> frame(static_cast<std::size_t>(kWidth) * kHeight, 30.0f);
  frame[2] = -999.0f;
  frame[3] = std::numeric_limits<float>::infinity();
  KolThermoMeasurement m{};
  m.region = {KOLTHERMO_REGION_LINE, 0, 0, 0, 0, 4, 0, 0};
  int length = -1;
  EXPECT_EQ(KolThermoLineProfile(frame.data(), kWidth, kHeight, &m, nullptr, 0, &length),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(length, 5);
  float profile[5] = {};
  ASSERT_EQ(KolThermoLineProfile(frame.data(), kWidth, kHeight, &m, profile, 5, &length),
            KOLTHERMO_THERMO_OK);
  EXPECT_EQ(std::vector<float>(profile, profile + 5),
            (std::vector<float>{30.0f, 30.0f, -999.0f, -999.0f, 30.0f}));
  // Not a line, no length pointer, a negative capacity.
  m.region.kind = KOLTHERMO_REGION_BOX;
  m.region.width = m.region.height = 1;
  EXPECT_EQ(KolThermoLineProfile(frame.data(), kWidth, kHeight, &m, profile, 5, &length),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  m.region.kind = KOLTHERMO_REGION_LINE;
  EXPECT_EQ(KolThermoLineProfile(frame.data(), kWidth, kHeight, &m, profile, 5, nullptr),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoLineProfile(frame.data(), kWidth, kHeight, &m, profile, -1, &length),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
}

}  // namespace
