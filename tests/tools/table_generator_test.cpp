// The calibration-table writer: exact header bytes and file sizes of every
// layout, and points that follow the simulator's sensor curve.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "sim/radiometric_model.h"
#include "support/test_support.h"
#include "table_writer.h"

namespace kt {
namespace {

namespace model = kt::sim::radiometric;
namespace tw = kt::table_writer;

int32_t Int32At(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t word = 0;
  for (int i = 3; i >= 0; --i) word = (word << 8) | bytes.at(offset + i);
  return static_cast<int32_t>(word);
}

float FloatAt(const std::vector<uint8_t>& bytes, size_t offset) {
  const uint32_t word = static_cast<uint32_t>(Int32At(bytes, offset));
  float value = 0.0f;
  std::memcpy(&value, &word, sizeof value);
  return value;
}

std::string MagicOf(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.begin() + tw::kMagicSize);
}

std::vector<uint8_t> Encode(tw::Layout layout, int32_t sub_tables = 1, int32_t limit = 0) {
  std::string error;
  auto bytes = tw::EncodeTable({layout, sub_tables, limit}, &error);
  EXPECT_FALSE(bytes.empty()) << error;
  return bytes;
}

// The raw codes the curve covers at the reference internal temperature
// (2000..14800 for the current curve), computed here from the model itself.
int32_t FirstCurveCode() {
  return static_cast<int32_t>(std::ceil(model::Raw(model::kMinSceneC, model::kReferenceInternalC)));
}
int32_t LastCurveCode() {
  return static_cast<int32_t>(
      std::floor(model::Raw(model::kMaxSceneC, model::kReferenceInternalC)));
}

// How closely a written temperature matches the model's inverse of its code.
// The writer and these checks evaluate the model in separate code; where
// doubles live in the x87's 80-bit registers (the 32-bit Windows build) the
// two round differently (near 0 degrees the results then differ entirely in
// their last bits), so the match is to far below the 0.02 degrees or more
// between neighbouring codes rather than bit for bit.
constexpr double kModelTolerance = 1e-4;

// Checks that the points at `offset` are the sampled curve: consecutive codes
// over the whole range, each temperature the inverse of its code.
void ExpectSampledCurve(const std::vector<uint8_t>& bytes, size_t offset, int32_t n) {
  ASSERT_EQ(n, LastCurveCode() - FirstCurveCode() + 1);
  for (int32_t i = 0; i < n; ++i) {
    const size_t at = offset + 8 * static_cast<size_t>(i);
    const int32_t raw = Int32At(bytes, at);
    ASSERT_EQ(raw, FirstCurveCode() + i);
    ASSERT_NEAR(FloatAt(bytes, at + 4), model::SceneTemperature(raw, model::kReferenceInternalC),
                kModelTolerance)
        << "raw " << raw;
  }
  // The curve read forwards gives back the code at both ends.
  EXPECT_NEAR(model::Raw(FloatAt(bytes, offset + 4), model::kReferenceInternalC), FirstCurveCode(),
              1e-3);
  EXPECT_NEAR(model::Raw(FloatAt(bytes, offset + 8 * (n - 1) + 4), model::kReferenceInternalC),
              LastCurveCode(), 1e-3);
}

// Checks a direct table of `n` points at `offset`, taken at `internal_c`.
void ExpectDirectTable(const std::vector<uint8_t>& bytes, size_t offset, int32_t n,
                       double internal_c) {
  const double first = std::ceil(model::Raw(model::kMinSceneC, internal_c));
  const double last = std::floor(model::Raw(model::kMaxSceneC, internal_c));
  for (int32_t m = 0; m < n; ++m) {
    const size_t at = offset + 8 * static_cast<size_t>(m);
    ASSERT_EQ(Int32At(bytes, at), m);
    const float t = FloatAt(bytes, at + 4);
    if (m < first || m > last) {
      ASSERT_EQ(t, tw::kNoTemperature) << "code " << m;
    } else {
      ASSERT_NEAR(t, model::SceneTemperature(m, internal_c), kModelTolerance) << "code " << m;
    }
  }
}

TEST(TableWriterLayout, Version4000HeaderCoefficientsAndSampledPoints) {
  const auto bytes = Encode(tw::Layout::k4000);
  EXPECT_EQ(MagicOf(bytes), "KOLVEN THERMO TABLE 4000");
  EXPECT_EQ(Int32At(bytes, 24), 0);
  EXPECT_EQ(Int32At(bytes, 28), 0);
  EXPECT_EQ(FloatAt(bytes, 32), 30.0f);
  EXPECT_EQ(FloatAt(bytes, 36), 0.01f);
  EXPECT_EQ(FloatAt(bytes, 40), 2.0f);
  const int32_t n = Int32At(bytes, 44);
  EXPECT_EQ(bytes.size(), 48u + 8u * n);
  ExpectSampledCurve(bytes, 48, n);
}

TEST(TableWriterLayout, HeaderlessIsCountThenSampledPoints) {
  const auto bytes = Encode(tw::Layout::kHeaderless);
  const int32_t n = Int32At(bytes, 0);
  EXPECT_EQ(bytes.size(), 4u + 8u * n);
  ExpectSampledCurve(bytes, 4, n);
}

TEST(TableWriterLayout, Version1000HoldsOneTemperaturePerCode) {
  const auto bytes = Encode(tw::Layout::k1000);
  EXPECT_EQ(MagicOf(bytes), "KOLVEN THERMO TABLE 1000");
  EXPECT_EQ(Int32At(bytes, 24), 16384);
  EXPECT_EQ(bytes.size(), 28u + 8u * 16384u);
  ExpectDirectTable(bytes, 28, 16384, model::kReferenceInternalC);
}

TEST(TableWriterLayout, Version3000SkipsAWordBeforeTheCount) {
  const auto bytes = Encode(tw::Layout::k3000);
  EXPECT_EQ(MagicOf(bytes), "KOLVEN THERMO TABLE 3000");
  EXPECT_EQ(Int32At(bytes, 24), 0);
  EXPECT_EQ(Int32At(bytes, 28), 16384);
  EXPECT_EQ(bytes.size(), 32u + 8u * 16384u);
  ExpectDirectTable(bytes, 32, 16384, model::kReferenceInternalC);
}

TEST(TableWriterLayout, Version2000OffsetsPointAtSubTablesTakenFiveDegreesApart) {
  const auto bytes = Encode(tw::Layout::k2000, 3);
  EXPECT_EQ(MagicOf(bytes), "KOLVEN THERMO TABLE 2000");
  ASSERT_EQ(Int32At(bytes, 24), 3);
  const size_t sub_table_size = 4 + 8 * 16384;
  EXPECT_EQ(bytes.size(), 40 + 3 * sub_table_size);
  for (int32_t k = 0; k < 3; ++k) {
    const int32_t offset = Int32At(bytes, 28 + 4 * k);
    EXPECT_EQ(offset, static_cast<int32_t>(40 + k * sub_table_size));
    EXPECT_EQ(Int32At(bytes, offset), 16384);
    ExpectDirectTable(bytes, offset + 4, 16384, model::kReferenceInternalC + 5.0 * k);
  }
  // A warmer sensor reads lower codes for the same scene: the sub-tables differ.
  EXPECT_NE(FloatAt(bytes, 44 + 8 * 5000 + 4), FloatAt(bytes, 44 + sub_table_size + 8 * 5000 + 4));
}

TEST(TableWriterLayout, Version2000DefaultsToOneSubTable) {
  const auto bytes = Encode(tw::Layout::k2000);
  EXPECT_EQ(Int32At(bytes, 24), 1);
  EXPECT_EQ(Int32At(bytes, 28), 32);
  EXPECT_EQ(Int32At(bytes, 32), 16384);
  EXPECT_EQ(bytes.size(), 36u + 8u * 16384u);
}

TEST(TableWriterLayout, PointLimitSpreadsSamplesAndCutsDirectTables) {
  const auto sampled = Encode(tw::Layout::k4000, 1, 16);
  ASSERT_EQ(Int32At(sampled, 44), 16);
  ASSERT_EQ(sampled.size(), 48u + 8u * 16u);
  EXPECT_EQ(Int32At(sampled, 48), FirstCurveCode());
  EXPECT_EQ(Int32At(sampled, 48 + 8 * 15), LastCurveCode());
  for (int i = 1; i < 16; ++i) {
    EXPECT_GT(Int32At(sampled, 48 + 8 * i), Int32At(sampled, 48 + 8 * (i - 1)));
  }

  const auto single = Encode(tw::Layout::kHeaderless, 1, 1);
  EXPECT_EQ(Int32At(single, 0), 1);
  EXPECT_EQ(single.size(), 12u);

  const auto direct = Encode(tw::Layout::k2000, 2, 100);
  EXPECT_EQ(direct.size(), 36u + 2u * (4u + 8u * 100u));
  EXPECT_EQ(Int32At(direct, 32), 36 + 4 + 800);
  EXPECT_EQ(Int32At(direct, 36), 100);
}

TEST(TableWriterLayout, OutOfRangeSpecsAreRefusedWithAReason) {
  struct Case {
    tw::TableRequest request;
  };
  for (const Case& c : {Case{{tw::Layout::k2000, 0, 0}}, Case{{tw::Layout::k2000, 8, 0}},
                        Case{{tw::Layout::k4000, 1, -1}}, Case{{tw::Layout::k1000, 1, 16385}}}) {
    std::string error;
    EXPECT_TRUE(tw::EncodeTable(c.request, &error).empty());
    EXPECT_FALSE(error.empty());
  }
  // The sub-table count matters only to layout 2000.
  std::string error;
  EXPECT_FALSE(tw::EncodeTable({tw::Layout::k1000, 0, 10}, &error).empty());
}

TEST(TableWriterNames, LayoutNamesParseBack) {
  for (tw::Layout layout : {tw::Layout::kHeaderless, tw::Layout::k1000, tw::Layout::k2000,
                            tw::Layout::k3000, tw::Layout::k4000}) {
    EXPECT_EQ(tw::ParseLayout(tw::LayoutName(layout)), layout);
  }
  EXPECT_FALSE(tw::ParseLayout("5000"));
  EXPECT_FALSE(tw::ParseLayout(""));
  EXPECT_FALSE(tw::ParseLayout("4000 "));
}

TEST(TableWriterFile, WritesTheBytesAndReplacesAnOldFile) {
  test::TempDir dir;
  const auto path = dir.Path("table.bin");
  test::WriteFileBytes(path, std::vector<uint8_t>(100000, 0xAB));
  const auto bytes = Encode(tw::Layout::k4000, 1, 8);
  std::string error;
  ASSERT_TRUE(tw::WriteTableFile(path, bytes, &error)) << error;
  EXPECT_EQ(test::ReadFileBytes(path), bytes);
}

TEST(TableWriterFile, UnwritablePathFailsWithAMessage) {
  test::TempDir dir;
  std::string error;
  EXPECT_FALSE(tw::WriteTableFile(dir.Path("missing/table.bin"), {1, 2, 3}, &error));
  EXPECT_NE(error.find("missing"), std::string::npos);
  EXPECT_FALSE(tw::WriteTableFile({}, {1, 2, 3}, &error));
}

}  // namespace
}  // namespace kt
