// Drift compensation of version 4000 tables.
#include <gtest/gtest.h>

#include "table_files.h"

namespace kt {
namespace {

using test::DirectFile;
using test::DirectPoints;
using test::DriftFile;
using test::HeaderlessFile;
using test::Load;
using test::Ramp;

// A table wired like an initialised instance's: compensated reading selected
// and the recorded internal temperature attached.
class DriftTable : public ::testing::Test {
 protected:
  void SetUp() override {
    table_.SetRecordedTemperatureSource(&recorded_);
    table_.SelectActiveList(CThermoTable::ActiveList::kCompensated);
  }
  std::atomic<float> recorded_{0.0f};
  CThermoTable table_;
};

TEST_F(DriftTable, NoDriftLeavesEveryPointAsItIs) {
  recorded_ = 31.5f;
  const auto points = Ramp(100, 100, 40);
  ASSERT_EQ(Load(table_, DriftFile(31.5f, 0.7f, -3.0f, points)), 1);
  const auto state = table_.Snapshot();
  ASSERT_EQ(state->compensated_points.size(), points.size());
  for (size_t m = 0; m < points.size(); ++m) {
    EXPECT_EQ(state->compensated_points[m].raw, points[m].raw);
    EXPECT_EQ(state->compensated_points[m].temperature, points[m].temperature);
  }
  EXPECT_FLOAT_EQ(table_.LookupTemperature(150), table_.Interpolate(150));
  EXPECT_NE(table_.LookupTemperature(150), kNoTemperature);
}

TEST_F(DriftTable, ThreeDegreesBelowCalibrationRaisesEveryCodeBySix) {
  recorded_ = 22.0f;
  auto points = Ramp(100, 100, 40);
  points[7].temperature = kNoTemperature;  // compensated like any other point
  ASSERT_EQ(Load(table_, DriftFile(25.0f, 0.0f, 2.0f, points)), 1);
  const auto state = table_.Snapshot();
  ASSERT_EQ(state->compensated_points.size(), points.size());
  for (size_t m = 0; m < points.size(); ++m) {
    EXPECT_EQ(state->compensated_points[m].raw, points[m].raw + 6) << m;
    EXPECT_EQ(state->compensated_points[m].temperature, points[m].temperature);
  }
  // The lookup now interpolates over the shifted samples: a sample's own
  // temperature sits 6 codes higher, between two pairs that average to it.
  EXPECT_EQ(table_.LookupTemperature(1006),
            InterpolatePoints(state->compensated_points.data(), 40, 40, 1006));
  EXPECT_EQ(state->base_points[3].raw, 400);  // the base list is kept
}

TEST_F(DriftTable, CompensatedCodeAtOrBelowZeroKeepsItsRawCode) {
  recorded_ = 30.0f;
  // d = -10, k0 = 1: v = c - 10.
  ASSERT_EQ(
      Load(table_, DriftFile(20.0f, 0.0f, 1.0f, {{4, 1.0f}, {10, 2.0f}, {11, 3.0f}, {500, 4.0f}})),
      1);
  const auto& compensated = table_.Snapshot()->compensated_points;
  ASSERT_EQ(compensated.size(), 4u);
  EXPECT_EQ(compensated[0].raw, 4);
  EXPECT_EQ(compensated[1].raw, 10);
  EXPECT_EQ(compensated[2].raw, 1);
  EXPECT_EQ(compensated[3].raw, 490);
}

TEST_F(DriftTable, SlopeScalesWithObjectTemperatureAndTruncates) {
  recorded_ = 19.0f;
  // d = 1.5: v = (0.1 t + 0.25) * 1.5 + c.
  ASSERT_EQ(Load(table_, DriftFile(20.5f, 0.1f, 0.25f, {{1000, 10.0f}, {2000, 100.0f}})), 1);
  const auto& compensated = table_.Snapshot()->compensated_points;
  EXPECT_EQ(compensated[0].raw, 1001);  // 1001.875
  EXPECT_EQ(compensated[1].raw, 2015);  // 2015.375
}

TEST_F(DriftTable, CompensateRunsOnlyForADriftTableWithARecordedTemperature) {
  ASSERT_EQ(Load(table_, DirectFile(1, DirectPoints(200))), 1);
  recorded_ = 20.0f;
  EXPECT_EQ(table_.Compensate(), 0);

  recorded_ = 0.0f;
  ASSERT_EQ(Load(table_, DriftFile(25.0f, 0.0f, 2.0f, Ramp(100, 100, 40))), 1);
  // Not compensated yet: the direct table's lookup stays in use.
  EXPECT_EQ(table_.LookupTemperature(150), -50.0f + 150.0f / 64.0f);
  const auto before = table_.Snapshot();
  EXPECT_EQ(table_.Compensate(), 0);
  EXPECT_EQ(table_.Snapshot(), before);

  recorded_ = 22.0f;
  EXPECT_EQ(table_.Compensate(), 1);
  EXPECT_EQ(table_.Snapshot()->compensated_points[0].raw, 106);
  EXPECT_NE(table_.LookupTemperature(150), -50.0f + 150.0f / 64.0f);

  CThermoTable unwired;
  ASSERT_EQ(Load(unwired, DriftFile(25.0f, 0.0f, 2.0f, Ramp(100, 100, 40))), 1);
  EXPECT_EQ(unwired.Compensate(), 0);
}

TEST_F(DriftTable, HeaderlessTableInterpolatesOverItsBasePoints) {
  ASSERT_EQ(Load(table_, HeaderlessFile(Ramp(100, 100, 3))), 1);
  EXPECT_TRUE(table_.Snapshot()->compensated_points.empty());
  EXPECT_FLOAT_EQ(table_.Interpolate(150), 9.0f);
  EXPECT_FLOAT_EQ(table_.LookupTemperature(150), 9.0f);
}

TEST_F(DriftTable, HostileCoefficientsStayDefined) {
  recorded_ = 1.0f;
  ASSERT_EQ(
      Load(table_, DriftFile(3.0e38f, 1.0e30f, 0.0f, {{100, 50.0f}, {200, 60.0f}, {300, -70.0f}})),
      1);
  const auto& compensated = table_.Snapshot()->compensated_points;
  EXPECT_EQ(compensated[0].raw, INT32_MIN);  // +inf has no int32 value
  EXPECT_EQ(compensated[2].raw, 300);        // -inf keeps the code
}

}  // namespace
}  // namespace kt
