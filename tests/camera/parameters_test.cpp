// The parameter table on an initialised instance without a camera: settings
// are stored as documented, and the ids that reach the camera's control
// registers fail as the absent camera does.
#include <gtest/gtest.h>

#include "camera/kol_thermo.h"
#include "sim/sim_driver.h"

namespace kt {
namespace {

class ParametersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    instance_.Initialize(nullptr);
    while (instance_.codes().TakeNewest() != 0) {
    }
  }
  sim::ScopedSimDriver no_cameras_;  // a driver with every slot empty
  CKolThermo instance_;
};

TEST_F(ParametersTest, DefaultsOfAFreshInstance) {
  const struct {
    int id;
    int value;
  } expected[] = {{1, 384},   {2, 288},   {3, 0},  {4, 0},     {5, 0},     {6, 0},
                  {7, 0},     {8, 30},    {9, 10}, {10, 1200}, {11, 2000}, {12, -1},
                  {13, 1000}, {14, 3000}, {15, 1}, {16, 0},    {17, 0},    {18, 0}};
  for (const auto& e : expected) EXPECT_EQ(e.value, instance_.GetParam(e.id)) << "param " << e.id;
  EXPECT_EQ(0u, instance_.codes().size());
}

TEST_F(ParametersTest, StoredSettingsReadBackUnchecked) {
  for (int id : {9, 10, 11, 12, 13, 14, 17, 18}) {
    EXPECT_EQ(1, instance_.SetParam(id, -77)) << id;
    EXPECT_EQ(-77, instance_.GetParam(id)) << id;
  }
  EXPECT_EQ(0u, instance_.codes().size());
}

TEST_F(ParametersTest, NucOnDriftIsStoredAsAFlag) {
  EXPECT_EQ(1, instance_.SetParam(15, 7));
  EXPECT_EQ(1, instance_.GetParam(15));
  EXPECT_EQ(1, instance_.SetParam(15, 0));
  EXPECT_EQ(0, instance_.GetParam(15));
  EXPECT_EQ(1, instance_.SetParam(15, -1));
  EXPECT_EQ(1, instance_.GetParam(15));
}

TEST_F(ParametersTest, RingSizeIsRefusedOnceTheRingExists) {
  EXPECT_EQ(0, instance_.SetParam(8, 5));
  EXPECT_EQ(5u, instance_.codes().TakeNewest());
  EXPECT_EQ(30, instance_.GetParam(8));
  EXPECT_EQ(30u, instance_.ring_slot_count());
}

TEST_F(ParametersTest, ParameterSixteenIsRefused) {
  EXPECT_EQ(0, instance_.SetParam(16, 3));
  EXPECT_EQ(10u, instance_.codes().TakeNewest());
  EXPECT_EQ(0, instance_.GetParam(16));
}

TEST_F(ParametersTest, ReadOnlyIdsWriteTheCameraInstead) {
  // Ids 1 to 7 are not instance settings when written: the value goes to the
  // camera's control register (which fails here) and the reading is unchanged.
  EXPECT_EQ(0, instance_.SetParam(3, 12345));
  EXPECT_EQ(0, instance_.GetParam(3));
  EXPECT_EQ(0, instance_.SetParam(1, 100));
  EXPECT_EQ(384, instance_.GetParam(1));
  EXPECT_EQ(0, instance_.SetParam(6, 1));
  EXPECT_EQ(0, instance_.GetParam(6));
}

TEST_F(ParametersTest, OtherIdsReachTheCameraAndFailWithoutOne) {
  for (int id : {0, -1, 19, 20, 255, 300, 0x7FFFFFFF}) {
    EXPECT_EQ(0, instance_.SetParam(id, 0x1234)) << id;
    EXPECT_EQ(0, instance_.GetParam(id)) << id;
  }
  EXPECT_EQ(0u, instance_.codes().size());
}

TEST_F(ParametersTest, PauseAndStartFlipParameterSix) {
  EXPECT_EQ(1, instance_.Pause());
  EXPECT_EQ(1, instance_.GetParam(6));
  EXPECT_EQ(1, instance_.Start());
  EXPECT_EQ(0, instance_.GetParam(6));
}

}  // namespace
}  // namespace kt
