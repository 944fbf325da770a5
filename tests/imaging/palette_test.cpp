// The palette's reference colours and the hue-to-channel step it is built from.
#include "imaging/palette.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "imaging/colour_mapping.h"

namespace kt {
namespace {

uint32_t Rgb(uint32_t red, uint32_t green, uint32_t blue) { return red | green << 8 | blue << 16; }

TEST(PaletteTest, ReferenceEntries) {
  uint32_t palette[kPaletteSize] = {};
  BuildPalette(palette);
  const struct {
    int index;
    uint32_t colour;
  } kReference[] = {
      {0, Rgb(5, 0, 6)},         {1, Rgb(9, 0, 10)},        {30, Rgb(63, 0, 132)},
      {59, Rgb(0, 0, 254)},      {89, Rgb(0, 127, 254)},    {119, Rgb(0, 254, 254)},
      {149, Rgb(0, 254, 127)},   {179, Rgb(0, 254, 0)},     {209, Rgb(127, 254, 0)},
      {239, Rgb(254, 254, 0)},   {269, Rgb(254, 127, 0)},   {299, Rgb(254, 0, 0)},
      {300, Rgb(255, 3, 7)},     {329, Rgb(255, 125, 190)}, {358, Rgb(255, 247, 254)},
      {359, Rgb(255, 253, 255)},
  };
  for (const auto& entry : kReference) {
    EXPECT_EQ(palette[entry.index], entry.colour) << "index " << entry.index;
  }
}

TEST(PaletteTest, EveryRecordStartsWithThePalette) {
  uint32_t palette[kPaletteSize] = {};
  BuildPalette(palette);
  ColourMapping record;
  for (int i = 0; i < kPaletteSize; ++i) EXPECT_EQ(record.palette[i], palette[i]) << i;
}

TEST(HueValueTest, NegativeRemainderGivesTheLowBound) {
  // -300 would be 60 (the plateau) under a floored modulo.
  EXPECT_EQ(HueValue(10, 200, -300), 10);
  EXPECT_EQ(HueValue(10, 200, -1), 10);
}

TEST(HueValueTest, RisingPlateauFallingAndLow) {
  EXPECT_EQ(HueValue(0, 255, 0), 0);
  EXPECT_EQ(HueValue(0, 255, 30), 127);
  EXPECT_EQ(HueValue(0, 255, 59), 250);
  EXPECT_EQ(HueValue(0, 255, 390), 127);  // taken modulo 360
  EXPECT_EQ(HueValue(0, 255, 60), 255);
  EXPECT_EQ(HueValue(0, 255, 179), 255);
  EXPECT_EQ(HueValue(0, 255, 180), 255);
  EXPECT_EQ(HueValue(0, 255, 210), 127);
  EXPECT_EQ(HueValue(0, 255, 239), 4);
  EXPECT_EQ(HueValue(0, 255, 240), 0);
  EXPECT_EQ(HueValue(0, 255, 359), 0);
}

TEST(HueValueTest, TruncatesTowardZeroAndNeverOverflows) {
  // 255 + trunc(-127.5): a floor would give 127.
  EXPECT_EQ(HueValue(255, 0, 30), 128);
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  EXPECT_EQ(HueValue(kMin, kMax, 30), -1);
  EXPECT_EQ(HueValue(kMax, kMin, 210), 0);
}

}  // namespace
}  // namespace kt
