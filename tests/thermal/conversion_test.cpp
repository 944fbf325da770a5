// Frame converters: clamps, row orders and refusals.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/dib_surface.h"
#include "table_files.h"

namespace kt {
namespace {

using test::DirectFile;
using test::HeaderlessFile;
using test::Load;

void SetCode(CDibSurface& surface, int row, int column, uint16_t code) {
  std::memcpy(surface.pixels() + row * surface.stride() + column * 2, &code, 2);
}

// A 3 x 4 surface whose stored row r, column c holds code 100 r + c + 1.
CDibSurface CodedSurface() {
  CDibSurface surface;
  EXPECT_EQ(surface.CreateInMemory(3, 4, 16), 1);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 3; ++c) SetCode(surface, r, c, static_cast<uint16_t>(100 * r + c + 1));
  }
  return surface;
}

// Interpolate(x) = x exactly for 0 <= x < 20000: the only pair is the line
// through (-1000, -1000) and (20000, 20000).
void LoadIdentity(CThermoTable& table) {
  ASSERT_EQ(Load(table, HeaderlessFile({{-1000, -1000.0f}, {20000, 20000.0f}})), 1);
}

// Interpolate gives `degrees` for codes 1..999 and -999.0 for 1000 and above.
void LoadConstant(CThermoTable& table, float degrees) {
  ASSERT_EQ(Load(table, HeaderlessFile({{0, degrees}, {1000, degrees}})), 1);
}

// A 2 x 1 frame: code 500 (a temperature) and 4000 (none).
CDibSurface TwoPixels() {
  CDibSurface surface;
  EXPECT_EQ(surface.CreateInMemory(2, 1, 16), 1);
  SetCode(surface, 0, 0, 500);
  SetCode(surface, 0, 1, 4000);
  return surface;
}

TEST(Conversion, IntegerConvertersClampAndTruncate) {
  const CDibSurface frame = TwoPixels();
  CThermoTable table;
  struct Case {
    float degrees;
    uint8_t u8;
    int8_t i8;
    int32_t i32;
  };
  for (const Case& c :
       {Case{300.5f, 255, 127, 300}, Case{25.9f, 25, 25, 25}, Case{-3.7f, 0, -3, -3},
        Case{255.0f, 255, 127, 255}, Case{-128.0f, 0, -128, -128}, Case{0.5f, 0, 0, 0},
        Case{126.99f, 126, 126, 126}}) {
    LoadConstant(table, c.degrees);
    uint8_t u8[2];
    int8_t i8[2];
    int32_t i32[2];
    ASSERT_TRUE(table.ConvertToUInt8(frame, u8, RowOrder::kTopDown));
    ASSERT_TRUE(table.ConvertToInt8(frame, i8, RowOrder::kTopDown));
    ASSERT_TRUE(table.ConvertToInt32(frame, i32, RowOrder::kTopDown));
    EXPECT_EQ(u8[0], c.u8) << c.degrees;
    EXPECT_EQ(i8[0], c.i8) << c.degrees;
    EXPECT_EQ(i32[0], c.i32) << c.degrees;
    // The code without a temperature: -999.0.
    EXPECT_EQ(u8[1], 0);
    EXPECT_EQ(i8[1], -128);
    EXPECT_EQ(i32[1], -999);
  }
}

TEST(Conversion, FloatConverterReadsTheLookupTable) {
  std::vector<CalibrationPoint> points;
  for (int m = 0; m < 16384; ++m) points.push_back({0, static_cast<float>(m) + 0.25f});
  CThermoTable table;
  ASSERT_EQ(Load(table, DirectFile(1, points)), 1);
  CDibSurface frame;
  ASSERT_EQ(frame.CreateInMemory(4, 1, 16), 1);
  SetCode(frame, 0, 0, 0);
  SetCode(frame, 0, 1, 16383);
  SetCode(frame, 0, 2, 16384);
  SetCode(frame, 0, 3, 65535);
  float out[4];
  ASSERT_TRUE(table.ConvertToFloat(frame, out, RowOrder::kBottomUp));
  EXPECT_EQ(out[0], 0.25f);
  EXPECT_EQ(out[1], 16383.25f);
  EXPECT_EQ(out[2], kNoTemperature);
  EXPECT_EQ(out[3], kNoTemperature);
}

TEST(Conversion, RowOrders) {
  std::vector<CalibrationPoint> direct;
  for (int m = 0; m < 1000; ++m) direct.push_back({0, static_cast<float>(m)});
  CThermoTable table;
  ASSERT_EQ(Load(table, DirectFile(1, direct)), 1);
  const CDibSurface frame = CodedSurface();
  // Bottom-up output keeps the stored rows; top-down output reverses them.
  float floats[12];
  ASSERT_TRUE(table.ConvertToFloat(frame, floats, RowOrder::kBottomUp));
  EXPECT_EQ(floats[0], 1.0f);
  EXPECT_EQ(floats[5], 103.0f);
  EXPECT_EQ(floats[11], 303.0f);
  ASSERT_TRUE(table.ConvertToFloat(frame, floats, RowOrder::kTopDown));
  EXPECT_EQ(floats[0], 301.0f);
  EXPECT_EQ(floats[11], 3.0f);

  // The integer converters read the order the same way.
  LoadIdentity(table);
  int32_t ints[12];
  ASSERT_TRUE(table.ConvertToInt32(frame, ints, RowOrder::kTopDown));
  EXPECT_EQ(ints[0], 301);
  EXPECT_EQ(ints[4], 202);
  EXPECT_EQ(ints[11], 3);
  ASSERT_TRUE(table.ConvertToInt32(frame, ints, RowOrder::kBottomUp));
  EXPECT_EQ(ints[0], 1);
  EXPECT_EQ(ints[11], 303);
  uint8_t bytes[12];
  ASSERT_TRUE(table.ConvertToUInt8(frame, bytes, RowOrder::kTopDown));
  EXPECT_EQ(bytes[0], 255);  // 301
  EXPECT_EQ(bytes[9], 1);
  int8_t signed_bytes[12];
  ASSERT_TRUE(table.ConvertToInt8(frame, signed_bytes, RowOrder::kBottomUp));
  EXPECT_EQ(signed_bytes[2], 3);
  EXPECT_EQ(signed_bytes[3], 101);
  EXPECT_EQ(signed_bytes[6], 127);
}

TEST(Conversion, WidePaddedRowsUseTheStride) {
  CThermoTable table;
  LoadIdentity(table);
  CDibSurface frame;
  ASSERT_EQ(frame.CreateInMemory(3, 2, 16), 1);  // 6 bytes of pixels in 8-byte rows
  ASSERT_EQ(frame.stride(), 8);
  SetCode(frame, 1, 0, 77);
  SetCode(frame, 1, 2, 79);
  int32_t out[6];
  ASSERT_TRUE(table.ConvertToInt32(frame, out, RowOrder::kTopDown));
  EXPECT_EQ(out[0], 77);
  EXPECT_EQ(out[2], 79);
  EXPECT_EQ(out[3], 0);  // stored row 0, untouched codes
}

TEST(Conversion, RefusesWhatItCannotConvert) {
  CThermoTable table;
  const CDibSurface frame = TwoPixels();
  CDibSurface empty;
  CDibSurface colour;
  ASSERT_EQ(colour.CreateInMemory(2, 1, 24), 1);
  float f[2];
  int32_t i[2];
  EXPECT_FALSE(table.ConvertToFloat(frame, nullptr, RowOrder::kBottomUp));
  EXPECT_FALSE(table.ConvertToFloat(empty, f, RowOrder::kBottomUp));
  EXPECT_FALSE(table.ConvertToFloat(colour, f, RowOrder::kBottomUp));
  EXPECT_FALSE(table.ConvertToInt32(frame, nullptr, RowOrder::kBottomUp));
  EXPECT_FALSE(table.ConvertToInt32(empty, i, RowOrder::kBottomUp));
  EXPECT_FALSE(table.ConvertToUInt8(empty, nullptr, RowOrder::kTopDown));
  EXPECT_FALSE(table.ConvertToInt8(colour, nullptr, RowOrder::kTopDown));
  // No table loaded: every pixel without temperature.
  ASSERT_TRUE(table.ConvertToFloat(frame, f, RowOrder::kBottomUp));
  EXPECT_EQ(f[0], kNoTemperature);
  EXPECT_EQ(table.LookupTemperature(16384), kNoTemperature);
}

}  // namespace
}  // namespace kt
