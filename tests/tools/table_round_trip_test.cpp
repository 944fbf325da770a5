// Generated tables through the library's loader: every layout loads and reads
// the simulated sensor's raw codes as the scene temperatures they came from,
// version 4000 tables also after the sensor has warmed up.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "sim/radiometric_model.h"
#include "support/test_support.h"
#include "table_writer.h"
#include "thermal/thermo_table.h"

namespace kt {
namespace {

namespace model = kt::sim::radiometric;
namespace tw = kt::table_writer;

constexpr double kTref = model::kReferenceInternalC;
constexpr double kBodyC = 37.0;
// Codes are about 28 per degree at body temperature: reading a rounded code
// through a table of truncated codes stays well inside this.
constexpr double kBodyTolerance = 0.05;

std::vector<uint8_t> Encode(tw::Layout layout, int32_t sub_tables = 1) {
  std::string error;
  auto bytes = tw::EncodeTable({layout, sub_tables, 0}, &error);
  EXPECT_FALSE(bytes.empty()) << error;
  return bytes;
}

// The raw code a noiseless simulated pixel reads for `scene_c`.
uint16_t SensorCode(double scene_c, double internal_c) {
  return model::RawCode(scene_c, internal_c);
}

TEST(TableRoundTrip, DirectAndHeaderlessFilesReadBodyTemperature) {
  struct Case {
    tw::Layout layout;
    int32_t version;  // headerless files leave a fresh table's 0
  };
  for (const Case& c : {Case{tw::Layout::kHeaderless, 0}, Case{tw::Layout::k1000, 1},
                        Case{tw::Layout::k2000, 2}, Case{tw::Layout::k3000, 3}}) {
    SCOPED_TRACE(std::string(tw::LayoutName(c.layout)));
    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(tw::WriteTableFile(dir.Path("table.bin"), Encode(c.layout), &error)) << error;
    CThermoTable table;
    ASSERT_EQ(table.LoadTable(dir.Wide("table.bin").c_str(), 0), 1);
    EXPECT_EQ(table.version(), c.version);
    const uint16_t code = SensorCode(kBodyC, kTref);
    EXPECT_NEAR(table.LookupTemperature(code), kBodyC, kBodyTolerance);
    EXPECT_NEAR(table.Interpolate(code), kBodyC, kBodyTolerance);
    // Below the curve's coldest code there is no temperature.
    EXPECT_EQ(table.LookupTemperature(SensorCode(model::kMinSceneC, kTref) - 2), kNoTemperature);
  }
}

TEST(TableRoundTrip, EachVersion2000SubTableReadsItsOwnInternalTemperature) {
  const auto bytes = Encode(tw::Layout::k2000, 3);
  for (int32_t k = 0; k < 3; ++k) {
    SCOPED_TRACE("sub-table " + std::to_string(k));
    CThermoTable table;
    ASSERT_EQ(table.LoadFromBytes(bytes.data(), bytes.size(), k), 1);
    const double internal_c = tw::SubTableInternalTemperature(k);
    EXPECT_NEAR(table.LookupTemperature(SensorCode(kBodyC, internal_c)), kBodyC, kBodyTolerance);
  }
  CThermoTable table;
  EXPECT_EQ(table.LoadFromBytes(bytes.data(), bytes.size(), 3), 0);
}

// A version 4000 table as an initialised instance holds it: the recorded
// internal temperature attached and conversions reading the compensated list.
class Version4000RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    recorded_.store(static_cast<float>(kTref));
    table_.SetRecordedTemperatureSource(&recorded_);
    table_.SelectActiveList(CThermoTable::ActiveList::kCompensated);
    std::string error;
    ASSERT_TRUE(tw::WriteTableFile(dir_.Path("table.bin"), Encode(tw::Layout::k4000), &error))
        << error;
    ASSERT_EQ(table_.LoadTable(dir_.Wide("table.bin").c_str(), 0), 1);
    ASSERT_EQ(table_.version(), 4);
  }

  test::TempDir dir_;
  std::atomic<float> recorded_{0.0f};
  CThermoTable table_;
};

TEST_F(Version4000RoundTrip, ReadsTrueTemperaturesAtTheCalibrationTemperature) {
  EXPECT_NEAR(table_.LookupTemperature(SensorCode(kBodyC, kTref)), kBodyC, kBodyTolerance);
  for (const double scene_c : {-20.0, 0.0, 100.0, 200.0}) {
    EXPECT_NEAR(table_.LookupTemperature(SensorCode(scene_c, kTref)), scene_c, 0.1) << scene_c;
  }
}

TEST_F(Version4000RoundTrip, CompensationFollowsAWarmerSensor) {
  const double warm_c = kTref + 5.0;
  const uint16_t warm_code = SensorCode(kBodyC, warm_c);
  // Uncompensated, the warm sensor's code reads far too cold.
  EXPECT_LT(table_.LookupTemperature(warm_code), kBodyC - 0.3);

  recorded_.store(static_cast<float>(warm_c));
  ASSERT_EQ(table_.Compensate(), 1);
  EXPECT_NEAR(table_.LookupTemperature(warm_code), kBodyC, kBodyTolerance);
  EXPECT_NEAR(table_.Interpolate(warm_code), kBodyC, kBodyTolerance);
  for (const double scene_c : {-20.0, 0.0, 100.0, 200.0}) {
    EXPECT_NEAR(table_.LookupTemperature(SensorCode(scene_c, warm_c)), scene_c, 0.1) << scene_c;
  }
}

}  // namespace
}  // namespace kt
