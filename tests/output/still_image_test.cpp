// Still image writers: exact BMP, dump and temperature-map bytes, row orders,
// replacement of existing files and refusals.
#include "output/still_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../thermal/table_files.h"
#include "imaging/dib_surface.h"
#include "support/test_support.h"
#include "thermal/thermo_table.h"

namespace kt {
namespace {

using test::DirectFile;
using test::HeaderlessFile;
using test::Load;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

// Byte j of stored row r holds (31 r + j) mod 251: every row differs.
void FillPattern(CDibSurface& surface) {
  for (int r = 0; r < surface.height(); ++r) {
    for (int j = 0; j < surface.stride(); ++j) {
      surface.pixels()[r * surface.stride() + j] = static_cast<uint8_t>((31 * r + j) % 251);
    }
  }
}

std::vector<uint8_t> StoredRow(const CDibSurface& surface, int row) {
  const uint8_t* begin = surface.pixels() + row * surface.stride();
  return {begin, begin + surface.stride()};
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t at, size_t count) {
  if (at + count > bytes.size()) return {};
  return {bytes.begin() + static_cast<std::ptrdiff_t>(at),
          bytes.begin() + static_cast<std::ptrdiff_t>(at + count)};
}

CDibSurface Surface(int width, int height, int bits) {
  CDibSurface surface;
  EXPECT_EQ(surface.Create(width, height, bits), 1);
  FillPattern(surface);
  return surface;
}

TEST(StillImage, SensorColourBmpHasFileHeaderInfoHeaderAndStoredRows) {
  TempDir dir;
  const CDibSurface colour = Surface(384, 288, 24);
  ASSERT_EQ(SaveImageFile(dir.Wide("frame.bmp").c_str(), &colour, kStillBmp), 1);
  const std::vector<uint8_t> file = ReadFileBytes(dir.Path("frame.bmp"));
  ASSERT_EQ(file.size(), 331830u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(U32At(file, 2), 331830u);
  EXPECT_EQ(U32At(file, 6), 0u);
  EXPECT_EQ(U32At(file, 10), 54u);
  EXPECT_EQ(U32At(file, 14), 40u);
  EXPECT_EQ(static_cast<int32_t>(U32At(file, 22)), 288);  // positive: bottom-up
  EXPECT_EQ(file[28] | (file[29] << 8), 24);
  EXPECT_EQ(std::memcmp(file.data() + 14, &colour.info_header(), 40), 0);
  EXPECT_EQ(std::memcmp(file.data() + 54, colour.pixels(), 331776), 0);
}

TEST(StillImage, EightBitBmpCarriesTheWholeColourTable) {
  TempDir dir;
  const CDibSurface grey = Surface(5, 3, 8);  // stride 8
  ASSERT_EQ(SaveBmpFile(grey, dir.Wide("grey.bmp").c_str()), 1);
  const std::vector<uint8_t> file = ReadFileBytes(dir.Path("grey.bmp"));
  ASSERT_EQ(file.size(), 1078u + 3 * 8);
  EXPECT_EQ(U32At(file, 2), 1078u + 3 * 8);
  EXPECT_EQ(U32At(file, 10), 1078u);
  EXPECT_EQ(file[28], 8);
  for (uint32_t i = 0; i < 256; ++i) {
    ASSERT_EQ(U32At(file, 54 + 4 * i), i | (i << 8) | (i << 16)) << "entry " << i;
  }
  EXPECT_EQ(std::memcmp(file.data() + 1078, grey.pixels(), 24), 0);
}

TEST(StillImage, PixelDumpsHoldThePixelMemoryAsStored) {
  TempDir dir;
  for (int bits : {24, 16}) {
    const CDibSurface surface = Surface(384, 288, bits);
    ASSERT_EQ(SaveImageFile(dir.Wide("dump.bin").c_str(), &surface, kStillPixelDump), 1);
    const std::vector<uint8_t> file = ReadFileBytes(dir.Path("dump.bin"));
    ASSERT_EQ(file.size(), bits == 24 ? 331776u : 221184u);
    EXPECT_EQ(std::memcmp(file.data(), surface.pixels(), file.size()), 0) << bits;
  }
}

TEST(StillImage, FlippedSavesReverseTheStoredRowsAndLeaveTheSourceAlone) {
  TempDir dir;
  const CDibSurface surface = Surface(5, 4, 24);  // stride 16, padding included
  const std::vector<uint8_t> before =
      Slice(std::vector<uint8_t>(surface.pixels(), surface.pixels() + surface.byte_size()), 0, 64);

  ASSERT_EQ(SaveFlippedImageFile(dir.Wide("dump.bin").c_str(), &surface, kStillPixelDump), 1);
  const std::vector<uint8_t> dump = ReadFileBytes(dir.Path("dump.bin"));
  ASSERT_EQ(dump.size(), 64u);
  ASSERT_EQ(SaveFlippedImageFile(dir.Wide("flip.bmp").c_str(), &surface, kStillBmp), 1);
  const std::vector<uint8_t> bmp = ReadFileBytes(dir.Path("flip.bmp"));
  ASSERT_EQ(bmp.size(), 54u + 64);
  EXPECT_EQ(std::memcmp(bmp.data() + 14, &surface.info_header(), 40), 0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Slice(dump, 16 * i, 16), StoredRow(surface, 3 - i)) << "dump row " << i;
    EXPECT_EQ(Slice(bmp, 54 + 16 * i, 16), StoredRow(surface, 3 - i)) << "bmp row " << i;
  }
  EXPECT_EQ(std::memcmp(surface.pixels(), before.data(), 64), 0);
}

// A table giving `degrees` for codes 1..999 through the lookup (format 13)
// and the interpolation (formats 10..12 of a headerless table), and no
// temperature from code 1000 on.
void LoadConstant(CThermoTable& table, float degrees) {
  ASSERT_EQ(Load(table, HeaderlessFile({{0, degrees}, {1000, degrees}})), 1);
}

// A raw surface of `width` x 1 pixels all holding `code`.
CDibSurface RawRow(int width, uint16_t code) {
  CDibSurface raw;
  EXPECT_EQ(raw.CreateInMemory(width, 1, 16), 1);
  for (int c = 0; c < width; ++c) std::memcpy(raw.pixels() + 2 * c, &code, 2);
  return raw;
}

TEST(StillImage, EightBitMapsClampAndTruncate) {
  TempDir dir;
  const CDibSurface raw = RawRow(3, 500);
  struct Case {
    float degrees;
    uint8_t int8_byte;
    uint8_t uint8_byte;
  };
  for (const Case& c : {Case{-200.0f, 0x80, 0x00}, Case{300.0f, 0x7F, 0xFF}, Case{25.9f, 25, 25}}) {
    CThermoTable table;
    LoadConstant(table, c.degrees);
    ASSERT_EQ(SaveTemperatureMap(dir.Wide("s8").c_str(), raw, table, kTemperatureMapInt8, 0), 1);
    ASSERT_EQ(SaveTemperatureMap(dir.Wide("u8").c_str(), raw, table, kTemperatureMapUInt8, 0), 1);
    EXPECT_EQ(ReadFileBytes(dir.Path("s8")), std::vector<uint8_t>(3, c.int8_byte)) << c.degrees;
    EXPECT_EQ(ReadFileBytes(dir.Path("u8")), std::vector<uint8_t>(3, c.uint8_byte)) << c.degrees;
  }
}

TEST(StillImage, WideMapsMarkCodesWithoutTemperature) {
  TempDir dir;
  CThermoTable table;
  LoadConstant(table, 25.9f);
  const CDibSurface raw = RawRow(2, 4000);  // beyond the table: -999.0 both ways
  ASSERT_EQ(SaveTemperatureMap(dir.Wide("i32").c_str(), raw, table, kTemperatureMapInt32, 0), 1);
  ASSERT_EQ(SaveTemperatureMap(dir.Wide("f32").c_str(), raw, table, kTemperatureMapFloat, 0), 1);
  const std::vector<uint8_t> ints = ReadFileBytes(dir.Path("i32"));
  const std::vector<uint8_t> floats = ReadFileBytes(dir.Path("f32"));
  ASSERT_EQ(ints.size(), 8u);
  ASSERT_EQ(floats.size(), 8u);
  for (size_t at : {0u, 4u}) {
    EXPECT_EQ(static_cast<int32_t>(U32At(ints, at)), -999);
    float value = 0.0f;
    std::memcpy(&value, floats.data() + at, 4);
    EXPECT_EQ(value, -999.0f);
  }
}

// First sample of each output row of a 3 x 4 map of 32-bit samples.
std::vector<int32_t> RowStarts(const std::vector<uint8_t>& file, bool as_float) {
  std::vector<int32_t> starts;
  for (size_t row = 0; row < 4 && file.size() >= 48; ++row) {
    if (as_float) {
      float value = 0.0f;
      std::memcpy(&value, file.data() + 12 * row, 4);
      starts.push_back(static_cast<int32_t>(value));
    } else {
      starts.push_back(static_cast<int32_t>(U32At(file, 12 * row)));
    }
  }
  return starts;
}

TEST(StillImage, IntegerAndFloatMapsRunInOppositeRowOrders) {
  // Point m of the direct table is m degrees: every map format gives a code's
  // own value as its temperature.
  std::vector<CalibrationPoint> points;
  for (int m = 0; m < 1000; ++m) points.push_back({m, static_cast<float>(m)});
  CThermoTable table;
  ASSERT_EQ(Load(table, DirectFile(1, points)), 1);
  // Stored row r, column c holds code 100 r + c + 11.
  CDibSurface raw;
  ASSERT_EQ(raw.CreateInMemory(3, 4, 16), 1);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 3; ++c) {
      const auto code = static_cast<uint16_t>(100 * r + c + 11);
      std::memcpy(raw.pixels() + r * raw.stride() + 2 * c, &code, 2);
    }
  }
  const std::vector<int32_t> top_first = {311, 211, 111, 11};
  const std::vector<int32_t> bottom_first = {11, 111, 211, 311};
  TempDir dir;
  const std::u16string path = dir.Wide("map");
  ASSERT_EQ(SaveTemperatureMap(path.c_str(), raw, table, kTemperatureMapInt32, 0), 1);
  EXPECT_EQ(RowStarts(ReadFileBytes(dir.Path("map")), false), top_first);
  ASSERT_EQ(SaveTemperatureMap(path.c_str(), raw, table, kTemperatureMapInt32, 1), 1);
  EXPECT_EQ(RowStarts(ReadFileBytes(dir.Path("map")), false), bottom_first);
  ASSERT_EQ(SaveTemperatureMap(path.c_str(), raw, table, kTemperatureMapFloat, 0), 1);
  EXPECT_EQ(RowStarts(ReadFileBytes(dir.Path("map")), true), bottom_first);
  ASSERT_EQ(SaveTemperatureMap(path.c_str(), raw, table, kTemperatureMapFloat, 1), 1);
  EXPECT_EQ(RowStarts(ReadFileBytes(dir.Path("map")), true), top_first);
  ASSERT_EQ(SaveTemperatureMap(path.c_str(), raw, table, kTemperatureMapUInt8, 0), 1);
  EXPECT_EQ(ReadFileBytes(dir.Path("map")),
            (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 211, 212, 213, 111, 112, 113, 11, 12, 13}));
}

TEST(StillImage, EveryWriterReplacesALongerFile) {
  TempDir dir;
  const std::vector<uint8_t> old(400000, 0xEE);
  const CDibSurface colour = Surface(7, 5, 24);  // stride 24
  CThermoTable table;
  LoadConstant(table, 20.0f);
  const CDibSurface raw = RawRow(6, 500);
  const std::u16string path = dir.Wide("old.bin");
  const std::filesystem::path file = dir.Path("old.bin");

  WriteFileBytes(file, old);
  ASSERT_EQ(SaveImageFile(path.c_str(), &colour, kStillBmp), 1);
  EXPECT_EQ(std::filesystem::file_size(file), 54u + 120);
  WriteFileBytes(file, old);
  ASSERT_EQ(SaveFlippedImageFile(path.c_str(), &colour, kStillPixelDump), 1);
  EXPECT_EQ(std::filesystem::file_size(file), 120u);
  WriteFileBytes(file, old);
  ASSERT_EQ(SaveTemperatureMap(path.c_str(), raw, table, kTemperatureMapFloat, 0), 1);
  EXPECT_EQ(std::filesystem::file_size(file), 24u);
  WriteFileBytes(file, old);
  ASSERT_EQ(SaveTemperatureMap(path.c_str(), raw, table, kTemperatureMapUInt8, 0), 1);
  EXPECT_EQ(ReadFileBytes(file), std::vector<uint8_t>(6, 20));
}

TEST(StillImage, RefusalsWriteNoFile) {
  TempDir dir;
  const CDibSurface colour = Surface(4, 2, 24);
  const CDibSurface empty;
  CThermoTable table;
  LoadConstant(table, 20.0f);
  const CDibSurface raw = RawRow(4, 500);
  const std::u16string name = dir.Wide("out.bin");
  const std::u16string unwritable = dir.Wide("missing-dir/out.bin");

  for (int number = kStillBmp; number <= kStillTiff; ++number) {
    EXPECT_EQ(SaveImageFile(nullptr, &colour, number), 0);
    EXPECT_EQ(SaveImageFile(u"", &colour, number), 0);
    EXPECT_EQ(SaveImageFile(unwritable.c_str(), &colour, number), 0);
    EXPECT_EQ(SaveFlippedImageFile(unwritable.c_str(), &colour, number), 0);
    EXPECT_EQ(SaveImageFile(name.c_str(), nullptr, number), 0);
    EXPECT_EQ(SaveFlippedImageFile(name.c_str(), nullptr, number), 0);
    EXPECT_EQ(SaveImageFile(name.c_str(), &empty, number), 0);
    EXPECT_EQ(SaveFlippedImageFile(name.c_str(), &empty, number), 0);
  }
  EXPECT_EQ(SaveBmpFile(empty, name.c_str()), 0);
  // Numbers outside 0..6, the raw-surface numbers of the save operation among
  // them.
  for (int number : {-1, 7, 8, 9, 10}) {
    EXPECT_EQ(SaveImageFile(name.c_str(), &colour, number), 0) << number;
    EXPECT_EQ(SaveFlippedImageFile(name.c_str(), &colour, number), 0) << number;
  }
  for (int number : {kTemperatureMapInt8, kTemperatureMapFloat}) {
    EXPECT_EQ(SaveTemperatureMap(nullptr, raw, table, number, 0), 0);
    EXPECT_EQ(SaveTemperatureMap(unwritable.c_str(), raw, table, number, 0), 0);
    EXPECT_EQ(SaveTemperatureMap(name.c_str(), empty, table, number, 0), 0);
    EXPECT_EQ(SaveTemperatureMap(name.c_str(), colour, table, number, 0), 0);  // not raw codes
  }
  for (int number : {0, 9, 14}) {
    EXPECT_EQ(SaveTemperatureMap(name.c_str(), raw, table, number, 0), 0) << number;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Path("out.bin")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("missing-dir")));
}

}  // namespace
}  // namespace kt
