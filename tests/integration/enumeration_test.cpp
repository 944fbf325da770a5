// Listing and selecting cameras through the C interface, against simulated
// cameras at slots 0 and 2.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kolthermo/kolthermo.h"
#include "sim/sim_driver.h"
#include "support/codes.h"

namespace {

class EnumerationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.driver().Attach(0);
    sim_.driver().Attach(2);
    id_ = KolThermo_Initialize(nullptr);
    ASSERT_NE(0, id_);
    Codes();
  }
  void TearDown() override { KolThermo_Release(id_); }

  std::vector<int> Codes() { return kt::test::DrainCodes(id_); }

  kt::sim::ScopedSimDriver sim_;
  int id_ = 0;
};

std::u16string Name(const KolThermoWChar* text) {
  std::u16string out;
  for (; *text != 0; ++text) out.push_back(static_cast<char16_t>(*text));
  return out;
}

TEST_F(EnumerationTest, PresentSlotsAndTheirNames) {
  KolThermoWChar name[32];
  for (int slot = 0; slot < 8; ++slot) {
    std::fill(std::begin(name), std::end(name), KolThermoWChar{'#'});
    const int present = KolThermo_IsCameraEnableW(id_, slot, name, 32);
    EXPECT_EQ(slot == 0 || slot == 2 ? 1 : 0, present) << slot;
    if (present != 0) {
      EXPECT_EQ(slot == 0 ? u"KolThermoV7R2K_01" : u"KolThermoV7R2K_03", Name(name));
    } else {
      EXPECT_EQ(KolThermoWChar{'#'}, name[0]);  // untouched
    }
  }
  EXPECT_TRUE(Codes().empty());  // absent slots raise nothing
}

TEST_F(EnumerationTest, SlotsOutsideTheRangeAreInvalid) {
  KolThermoWChar name[32];
  EXPECT_EQ(0, KolThermo_IsCameraEnableW(id_, 8, name, 32));
  EXPECT_EQ(0, KolThermo_IsCameraEnableW(id_, -1, name, 32));
  EXPECT_EQ((std::vector<int>{5, 5}), Codes());
}

TEST_F(EnumerationTest, BufferMustHoldTheNameAndItsTerminator) {
  KolThermoWChar name[18];
  EXPECT_EQ(0, KolThermo_IsCameraEnableW(id_, 0, name, 17));
  EXPECT_EQ(std::vector<int>{5}, Codes());
  EXPECT_EQ(1, KolThermo_IsCameraEnableW(id_, 0, name, 18));
  EXPECT_EQ(u"KolThermoV7R2K_01", Name(name));
  EXPECT_EQ(0, name[17]);
  EXPECT_EQ(0, KolThermo_IsCameraEnableW(id_, 0, nullptr, 64));
  EXPECT_EQ(std::vector<int>{5}, Codes());
}

TEST_F(EnumerationTest, NarrowForm) {
  char name[64];
  std::fill(std::begin(name), std::end(name), '#');
  EXPECT_EQ(1, KolThermo_IsCameraEnableA(id_, 2, name, 64));
  EXPECT_STREQ("KolThermoV7R2K_03", name);
  EXPECT_EQ(0, KolThermo_IsCameraEnableA(id_, 1, name, 64));
  EXPECT_TRUE(Codes().empty());
  EXPECT_EQ(0, KolThermo_IsCameraEnableA(id_, 0, name, 17));
  EXPECT_EQ(0, KolThermo_IsCameraEnableA(id_, 9, name, 64));
  EXPECT_EQ(0, KolThermo_IsCameraEnableA(id_, 0, nullptr, 64));
  EXPECT_EQ((std::vector<int>{5, 5, 5}), Codes());
  // A huge claimed size needs no huge allocation.
  EXPECT_EQ(1, KolThermo_IsCameraEnableA(id_, 0, name, 0x7FFFFFFF));
  EXPECT_STREQ("KolThermoV7R2K_01", name);
}

TEST_F(EnumerationTest, SelectingCameras) {
  EXPECT_EQ(1, KolThermo_SetCameraNumber(id_, 2));
  EXPECT_TRUE(Codes().empty());
  // The selected camera received the set-up: command 6 among its commands.
  bool selected = false;
  for (const auto& command : sim_.driver().log().Commands(2)) selected |= command[0] == 6;
  EXPECT_TRUE(selected);
  for (int slot : {1, 3, 7, 8, -1}) {
    EXPECT_EQ(0, KolThermo_SetCameraNumber(id_, slot)) << slot;
    EXPECT_EQ(std::vector<int>{2}, Codes()) << slot;
  }
  // Parameters now reach the camera at slot 2.
  EXPECT_EQ(1, KolThermo_SetParam(id_, 20, 0x1234));
  EXPECT_EQ(0x34, sim_.driver().camera(2)->control_register(20));
  sim_.driver().camera(2)->set_control_register(44, 0x5C);
  EXPECT_EQ(0x5C, KolThermo_GetParam(id_, 300));
}

TEST_F(EnumerationTest, InternalTemperatureFromTheCamera) {
  sim_.driver().camera(0)->SetInternalTemperature(31.5f);
  int status = 0;
  const float celsius = KolThermo_GetInternalTemperature(id_, &status);
  EXPECT_EQ(1, status);
  EXPECT_NEAR(31.5f, celsius, 0.05f);
  EXPECT_TRUE(Codes().empty());
  sim_.driver().Unplug(0);
  EXPECT_EQ(0.0f, KolThermo_GetInternalTemperature(id_, &status));
  EXPECT_EQ(0, status);
  EXPECT_EQ(std::vector<int>{8}, Codes());
}

}  // namespace

#ifndef _WIN32
// Off Windows the library's own transport is the simulated driver, with one
// camera at slot 0 from the start.
TEST(DefaultCameraTest, SlotZeroHoldsACameraWithAPlausibleTemperature) {
  const int id = KolThermo_Initialize(nullptr);
  ASSERT_NE(0, id);
  EXPECT_EQ(0, KolThermo_GetLastError(id));  // the internal temperature was read
  KolThermoWChar name[18];
  EXPECT_EQ(1, KolThermo_IsCameraEnableW(id, 0, name, 18));
  for (int slot = 1; slot < 8; ++slot) EXPECT_EQ(0, KolThermo_IsCameraEnableW(id, slot, name, 18));
  int status = 0;
  const float celsius = KolThermo_GetInternalTemperature(id, &status);
  EXPECT_EQ(1, status);
  EXPECT_GT(celsius, 10.0f);
  EXPECT_LT(celsius, 50.0f);
  EXPECT_EQ(1, KolThermo_Release(id));
}
#endif
