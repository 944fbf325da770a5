// Calibration tables in an instance: loading starts a NUC hold, and the drift
// check follows the camera's internal temperature.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "camera/acquisition.h"
#include "camera/kol_thermo.h"
#include "sim/sim_driver.h"
#include "support/test_support.h"

namespace kt {
namespace {

constexpr float kTref = 30.0f;

// A version 4000 table: Tref 30, k1 = 0, k0 = 2 (every raw code moves by two
// codes per degree of internal drift), samples raw 1000 + 100 i -> 10 + i degrees.
std::vector<uint8_t> Version4000Table() {
  std::vector<uint8_t> bytes(24, 0);
  std::memcpy(bytes.data(), "KOLVEN THERMO TABLE 4000", 24);
  auto put = [&bytes](const void* value) {
    const auto* p = static_cast<const uint8_t*>(value);
    bytes.insert(bytes.end(), p, p + 4);
  };
  const int32_t words[2] = {7, -7};
  const float coefficients[3] = {kTref, 0.0f, 2.0f};
  const int32_t count = 100;
  put(&words[0]);
  put(&words[1]);
  for (const float& c : coefficients) put(&c);
  put(&count);
  for (int32_t i = 0; i < count; ++i) {
    const int32_t raw = 1000 + 100 * i;
    const float temperature = 10.0f + static_cast<float>(i);
    put(&raw);
    put(&temperature);
  }
  return bytes;
}

class DriftTest : public ::testing::Test {
 protected:
  void SetUp() override {
    camera_ = sim_.driver().Attach(0);
    camera_->SetInternalTemperature(kTref);
    instance_ = std::make_unique<CKolThermo>();
    instance_->Initialize(nullptr);
    Drain();
    test::WriteFileBytes(dir_.Path("table4000.bin"), Version4000Table());
  }
  void Drain() {
    while (instance_->codes().TakeNewest() != 0) {
    }
  }
  float Recorded() const { return instance_->recorded_internal_temperature(); }

  sim::ScopedSimDriver sim_;
  std::shared_ptr<sim::SimCamera> camera_;
  std::unique_ptr<CKolThermo> instance_;
  test::TempDir dir_;
};

TEST(DriftEventTest, MoreThanOneDegree) {
  EXPECT_FALSE(Acquisition::IsDriftEvent(31.0f, 30.0f));
  EXPECT_FALSE(Acquisition::IsDriftEvent(29.0f, 30.0f));
  EXPECT_TRUE(Acquisition::IsDriftEvent(31.01f, 30.0f));
  EXPECT_TRUE(Acquisition::IsDriftEvent(28.99f, 30.0f));
  EXPECT_TRUE(Acquisition::IsDriftEvent(0.0f, 30.0f));  // a failed reading
}

TEST_F(DriftTest, LoadingATableStartsANucHold) {
  const int nucs = camera_->nuc_requests();
  ASSERT_EQ(1, instance_->SetTable(dir_.Wide("table4000.bin").c_str()));
  EXPECT_EQ(nucs + 1, camera_->nuc_requests());
  EXPECT_EQ(0.0f, Recorded());  // the next drift check records afresh
  // Compensated at load time for the temperature recorded then (Tref, read
  // through the sensor's 0.02-degree steps): as sampled, within a code.
  EXPECT_NEAR(50.0f, instance_->table().LookupTemperature(5000), 0.02f);
}

TEST_F(DriftTest, BadPathsAreRefusedWithCodeNine) {
  EXPECT_EQ(0, instance_->SetTable(nullptr));
  EXPECT_EQ(0, instance_->SetTable(u""));
  EXPECT_EQ(0, instance_->SetTable(dir_.Wide("missing.bin").c_str()));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(9u, instance_->codes().TakeNewest());
  EXPECT_EQ(0u, instance_->codes().TakeNewest());
}

TEST_F(DriftTest, TheTableFollowsTheInternalTemperature) {
  ASSERT_EQ(1, instance_->SetTable(dir_.Wide("table4000.bin").c_str()));
  int nucs = camera_->nuc_requests();
  // The first check runs at once and records the present temperature.
  instance_->acquisition().DriftCheck(40000);
  EXPECT_NEAR(kTref, Recorded(), 0.05f);
  EXPECT_EQ(++nucs, camera_->nuc_requests());
  EXPECT_EQ(1, instance_->GetParam(15));

  // Within 30000 ms nothing is checked, whatever the camera does.
  camera_->SetInternalTemperature(kTref + 5.0f);
  instance_->acquisition().DriftCheck(70000);
  EXPECT_NEAR(kTref, Recorded(), 0.05f);
  EXPECT_EQ(nucs, camera_->nuc_requests());

  // Less than a degree: no event.
  camera_->SetInternalTemperature(kTref + 0.9f);
  instance_->acquisition().DriftCheck(70001);
  EXPECT_NEAR(kTref, Recorded(), 0.05f);
  EXPECT_EQ(nucs, camera_->nuc_requests());

  // More than a degree: NUC, the new temperature recorded and the table
  // compensated for it (not for the previous one): d = 30 - 31.5 = -1.5, every
  // raw code moves by -3, so 50 degrees now reads at raw 4997.
  camera_->SetInternalTemperature(kTref + 1.5f);
  instance_->acquisition().DriftCheck(100002);
  EXPECT_NEAR(kTref + 1.5f, Recorded(), 0.05f);
  EXPECT_EQ(++nucs, camera_->nuc_requests());
  EXPECT_NEAR(50.0f, instance_->table().LookupTemperature(4997), 0.02f);

  // Without NUC on drift the table still follows, with no NUC request.
  instance_->SetParam(15, 0);
  camera_->SetInternalTemperature(kTref - 1.5f);
  instance_->acquisition().DriftCheck(140000);
  EXPECT_NEAR(kTref - 1.5f, Recorded(), 0.05f);
  EXPECT_EQ(nucs, camera_->nuc_requests());
  EXPECT_NEAR(50.0f, instance_->table().LookupTemperature(5003), 0.02f);
}

TEST_F(DriftTest, AFailedReadingRecordsZeroAndLeavesTheTable) {
  ASSERT_EQ(1, instance_->SetTable(dir_.Wide("table4000.bin").c_str()));
  instance_->acquisition().DriftCheck(40000);
  camera_->FailRegisterReads(true);
  instance_->acquisition().DriftCheck(80000);
  EXPECT_EQ(0.0f, Recorded());
  EXPECT_NEAR(50.0f, instance_->table().LookupTemperature(5000), 0.02f);
  EXPECT_EQ(0u, instance_->codes().size());  // not reported
}

}  // namespace
}  // namespace kt
