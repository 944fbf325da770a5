// The host extra KolThermoHost_GetColorRGB: KolThermo_GetColor's picture as
// packed red, green, blue, in the row order the fetch parameter selects, with
// the same refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kolthermo/kolthermo.h"
#include "kolthermo/kolthermo_host.h"
#include "sim/sim_driver.h"
#include "support/codes.h"

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;
constexpr unsigned kBytes = kWidth * kHeight * 3;  // rows of 1152 bytes: no padding either way

class ColourRgbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.driver().Attach(0);
    id_ = KolThermo_Initialize(nullptr);
    ASSERT_NE(0, id_);
    // A few frames, so the automatic colour window has followed the scene.
    for (int i = 0; i < 3; ++i) frame_ = KolThermo_OneShot(id_);
    ASSERT_NE(0, frame_);
    kt::test::DrainCodes(id_);
  }
  void TearDown() override { KolThermo_Release(id_); }

  kt::sim::ScopedSimDriver sim_;
  int id_ = 0;
  int frame_ = 0;
};

TEST_F(ColourRgbTest, IsTheColourPictureWithEachPixelReversedInEitherRowOrder) {
  std::vector<std::vector<uint8_t>> rgb_by_order;
  for (int top_first = 0; top_first <= 1; ++top_first) {
    ASSERT_EQ(1, KolThermo_SetParam(id_, KOLTHERMO_PARAM_FETCH_FLIPPED, top_first));
    std::vector<uint8_t> bgr(kBytes), rgb(kBytes);
    ASSERT_EQ(1, KolThermo_GetColor(id_, frame_, bgr.data(), kBytes));
    ASSERT_EQ(1, KolThermoHost_GetColorRGB(id_, frame_, rgb.data(), kBytes));
    for (unsigned p = 0; p < kBytes; p += 3) {
      ASSERT_EQ(bgr[p], rgb[p + 2]) << "pixel " << p / 3 << " order " << top_first;
      ASSERT_EQ(bgr[p + 1], rgb[p + 1]);
      ASSERT_EQ(bgr[p + 2], rgb[p]);
    }
    rgb_by_order.push_back(rgb);
  }
  EXPECT_NE(rgb_by_order[0], rgb_by_order[1]);  // the scene's top and bottom differ
  EXPECT_TRUE(kt::test::DrainCodes(id_).empty());
}

TEST_F(ColourRgbTest, RefusesMissingShortBuffersAndUnknownFrames) {
  std::vector<uint8_t> buffer(kBytes);
  EXPECT_EQ(0, KolThermoHost_GetColorRGB(id_, frame_, buffer.data(), kBytes - 1));
  EXPECT_EQ(0, KolThermoHost_GetColorRGB(id_, frame_, nullptr, kBytes));
  EXPECT_EQ((std::vector<int>{6, 6}), kt::test::DrainCodes(id_));
  EXPECT_EQ(0, KolThermoHost_GetColorRGB(id_, frame_ + 1, buffer.data(), kBytes));
  EXPECT_EQ(std::vector<int>{5}, kt::test::DrainCodes(id_));
  EXPECT_EQ(0, KolThermoHost_GetColorRGB(id_ + 1, frame_, buffer.data(), kBytes));
}

}  // namespace
