// Pixel converters: result codes and their precedence, per-pixel rules, the
// rectangles and row orders.
#include "imaging/pixel_converters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kt {
namespace {

// An image with its own memory; bytes start as `fill`.
struct Image {
  Image(int width, int height, int bits, uint8_t fill = 0)
      : memory(static_cast<size_t>(height) * ((width * (bits / 8) + 3) / 4 * 4), fill) {
    d = {kImageDescriptorSize, width, height, (width * (bits / 8) + 3) / 4 * 4, bits, memory.data(),
         {0, 0, width, height}};
  }
  uint8_t* Row(int row) { return memory.data() + row * d.stride; }
  void Put16(int row, int column, uint16_t value) {
    Row(row)[2 * column] = static_cast<uint8_t>(value);
    Row(row)[2 * column + 1] = static_cast<uint8_t>(value >> 8);
  }
  uint16_t Get16(int row, int column) {
    return static_cast<uint16_t>(Row(row)[2 * column] | (Row(row)[2 * column + 1] << 8));
  }
  std::vector<uint8_t> memory;
  ImageDescriptor d{};
};

TEST(PixelConverters, ResultCodesAndTheirOrder) {
  struct Case {
    std::string name;
    int code;
    std::function<void(Image&, Image&, ConverterOptions&)> spoil;
  };
  const std::vector<Case> cases = {
      {"valid", 0, [](Image&, Image&, ConverterOptions&) {}},
      {"short descriptor", 3, [](Image& dst, Image&, ConverterOptions&) { dst.d.size = 39; }},
      {"short explicit options", 3,
       [](Image&, Image&, ConverterOptions& o) {
         o = {11, kConverterOptionsExplicit, 0};
       }},
      {"explicit options", 0,
       [](Image&, Image&, ConverterOptions& o) {
         o = {12, kConverterOptionsExplicit, 0};
       }},
      {"unknown kind", 2, [](Image&, Image&, ConverterOptions& o) { o.kind = 5; }},
      {"size before kind", 3,
       [](Image&, Image& src, ConverterOptions& o) { src.d.size = 0, o.kind = 5; }},
      {"no width", 4, [](Image& dst, Image&, ConverterOptions&) { dst.d.width = 0; }},
      {"no height", 5, [](Image& dst, Image&, ConverterOptions&) { dst.d.height = 0; }},
      {"no stride", 6, [](Image& dst, Image&, ConverterOptions&) { dst.d.stride = 0; }},
      {"stride below a row", 6, [](Image& dst, Image&, ConverterOptions&) { dst.d.stride = 3; }},
      {"no depth", 7, [](Image& dst, Image&, ConverterOptions&) { dst.d.bits_per_pixel = 0; }},
      {"no pixels", 8, [](Image& dst, Image&, ConverterOptions&) { dst.d.pixels = nullptr; }},
      {"negative left", 9, [](Image& dst, Image&, ConverterOptions&) { dst.d.rect.left = -1; }},
      {"right beyond", 9, [](Image& dst, Image&, ConverterOptions&) { dst.d.rect.right = 5; }},
      {"bottom beyond", 9, [](Image& dst, Image&, ConverterOptions&) { dst.d.rect.bottom = 4; }},
      {"empty rows", 9, [](Image& dst, Image&, ConverterOptions&) { dst.d.rect.top = 3; }},
      {"left at right", 9, [](Image&, Image& src, ConverterOptions&) { src.d.rect.left = 4; }},
      {"source checked too", 8,
       [](Image&, Image& src, ConverterOptions&) { src.d.pixels = nullptr; }},
      {"destination first", 4,
       [](Image& dst, Image& src, ConverterOptions&) { dst.d.width = 0, src.d.pixels = nullptr; }},
  };
  for (const PixelConverter converter : {ConvertForJpeg, ConvertForPng, ConvertForTiff}) {
    for (const Case& c : cases) {
      // A 4 x 3 pair each converter accepts: 16 to 8 bits for JPEG, 16 to 16 else.
      Image dst(4, 3, converter == ConvertForJpeg ? 8 : 16, 0xAB);
      Image src(4, 3, 16, 0x11);
      ConverterOptions options = kDefaultConverterOptions;
      c.spoil(dst, src, options);
      EXPECT_EQ(converter(&dst.d, &src.d, &options, 0, 0), c.code) << c.name;
      if (c.code != 0) {
        EXPECT_EQ(dst.memory, std::vector<uint8_t>(dst.memory.size(), 0xAB)) << c.name;
      }
    }
  }
  ConverterOptions options = kDefaultConverterOptions;
  Image image(4, 3, 16);
  EXPECT_EQ(ConvertForTiff(nullptr, nullptr, nullptr, 0, 0), 1);
  EXPECT_EQ(ConvertForPng(&image.d, nullptr, &options, 0, 0), 1);
  Image colour(4, 3, 24);
  EXPECT_EQ(ConvertForJpeg(&colour.d, &colour.d, &options, 0, 0), 7);  // 24 needs no conversion
  Image grey(4, 3, 8);
  EXPECT_EQ(ConvertForPng(&grey.d, &image.d, &options, 0, 0), 7);  // depths must match
  EXPECT_EQ(ConvertForTiff(&grey.d, &image.d, &options, 0, 0), 7);
  Image odd(4, 3, 40);
  EXPECT_EQ(ConvertForTiff(&odd.d, &odd.d, &options, 0, 0), 7);
}

TEST(PixelConverters, SixteenBitCodesKeepTheirFourteenBits) {
  // Codes of the sensor's range, then two above it that must not wrap.
  const std::vector<uint16_t> codes = {0x0000, 0x0001, 0x0100, 0x03FF, 0x0400,
                                       0x2000, 0x3FFF, 0x4000, 0xFFFF};
  const std::vector<uint16_t> widened = {0x0000, 0x0004, 0x0400, 0x0FFC, 0x1000,
                                         0x8000, 0xFFFC, 0xFFFC, 0xFFFC};
  const std::vector<uint8_t> narrowed = {0x00, 0x00, 0x04, 0x0F, 0x10, 0x80, 0xFF, 0xFF, 0xFF};
  const int n = static_cast<int>(codes.size());
  Image src(n, 1, 16);
  for (int i = 0; i < n; ++i) src.Put16(0, i, codes[i]);
  Image grey(n, 1, 8);
  Image png(n, 1, 16);
  Image tiff(n, 1, 16);
  ASSERT_EQ(ConvertForJpeg(&grey.d, &src.d, &kDefaultConverterOptions, 0, 0), 0);
  ASSERT_EQ(ConvertForPng(&png.d, &src.d, &kDefaultConverterOptions, 0, 0), 0);
  ASSERT_EQ(ConvertForTiff(&tiff.d, &src.d, &kDefaultConverterOptions, 0, 0), 0);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(grey.Row(0)[i], narrowed[i]) << codes[i];
    EXPECT_EQ(png.Get16(0, i), widened[i]) << codes[i];
    EXPECT_EQ(tiff.Get16(0, i), widened[i]) << codes[i];
  }
}

TEST(PixelConverters, MultiSampleDepths) {
  // One pixel of four 16-bit samples 0x1001, 0x2002, 0x3003, 0x0304.
  const uint16_t samples[4] = {0x1001, 0x2002, 0x3003, 0x0304};
  for (int bits : {48, 64}) {
    Image src(1, 1, bits);
    for (int s = 0; s < bits / 16; ++s) src.Put16(0, s, samples[s]);
    Image jpeg(1, 1, 24);
    ASSERT_EQ(ConvertForJpeg(&jpeg.d, &src.d, &kDefaultConverterOptions, 0, 0), 0);
    EXPECT_EQ(std::vector<uint8_t>(jpeg.Row(0), jpeg.Row(0) + 3),
              (std::vector<uint8_t>{0x40, 0x80, 0xC0}));
    Image png(1, 1, bits);
    Image tiff(1, 1, bits);
    ASSERT_EQ(ConvertForPng(&png.d, &src.d, &kDefaultConverterOptions, 0, 0), 0);
    ASSERT_EQ(ConvertForTiff(&tiff.d, &src.d, &kDefaultConverterOptions, 0, 0), 0);
    for (int s = 0; s < bits / 16; ++s) {
      const int from = s < 3 ? 2 - s : s;  // TIFF puts red first
      EXPECT_EQ(png.Get16(0, s), static_cast<uint16_t>(samples[s] << 2)) << bits << " " << s;
      EXPECT_EQ(tiff.Get16(0, s), static_cast<uint16_t>(samples[from] << 2)) << bits << " " << s;
    }
  }
  Image bgra(1, 1, 32);
  for (int b = 0; b < 4; ++b) bgra.Row(0)[b] = static_cast<uint8_t>(10 + b);
  Image bgr(1, 1, 24);
  Image rgba(1, 1, 32);
  ASSERT_EQ(ConvertForJpeg(&bgr.d, &bgra.d, &kDefaultConverterOptions, 0, 0), 0);
  ASSERT_EQ(ConvertForTiff(&rgba.d, &bgra.d, &kDefaultConverterOptions, 0, 0), 0);
  EXPECT_EQ(std::vector<uint8_t>(bgr.Row(0), bgr.Row(0) + 4),
            (std::vector<uint8_t>{10, 11, 12, 0}));
  EXPECT_EQ(std::vector<uint8_t>(rgba.Row(0), rgba.Row(0) + 4),
            (std::vector<uint8_t>{12, 11, 10, 13}));
}

TEST(PixelConverters, TiffReversesRowsAndOthersKeepThem) {
  Image src(2, 3, 24);
  for (int r = 0; r < 3; ++r) {
    for (int j = 0; j < 6; ++j) src.Row(r)[j] = static_cast<uint8_t>(10 * r + j);
  }
  Image tiff(2, 3, 24);
  ASSERT_EQ(ConvertForTiff(&tiff.d, &src.d, &kDefaultConverterOptions, 0, 0), 0);
  for (int r = 0; r < 3; ++r) {
    const int from = 2 - r;
    EXPECT_EQ(std::vector<uint8_t>(tiff.Row(r), tiff.Row(r) + 6),
              (std::vector<uint8_t>{src.Row(from)[2], src.Row(from)[1], src.Row(from)[0],
                                    src.Row(from)[5], src.Row(from)[4], src.Row(from)[3]}))
        << r;
  }
  Image raw(1, 3, 16);
  for (int r = 0; r < 3; ++r) raw.Put16(r, 0, static_cast<uint16_t>((r + 1) << 6));
  Image grey(1, 3, 8);
  ASSERT_EQ(ConvertForJpeg(&grey.d, &raw.d, &kDefaultConverterOptions, 0, 0), 0);
  Image tiff16(1, 3, 16);
  ASSERT_EQ(ConvertForTiff(&tiff16.d, &raw.d, &kDefaultConverterOptions, 0, 0), 0);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(grey.Row(r)[0], r + 1);
    EXPECT_EQ(tiff16.Get16(r, 0), (3 - r) << 8);
  }
  // Eight-bit rows are copied whole, as far as the shorter stride reaches.
  Image narrow(3, 2, 8, 0x55);  // stride 4
  Image wide(6, 2, 8, 0xEE);    // stride 8
  ASSERT_EQ(ConvertForTiff(&wide.d, &narrow.d, &kDefaultConverterOptions, 0, 0), 0);
  EXPECT_EQ(std::vector<uint8_t>(wide.Row(0), wide.Row(0) + 8),
            (std::vector<uint8_t>{0x55, 0x55, 0x55, 0x55, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(PixelConverters, OnlyTheCommonPartOfBothRectanglesIsConverted) {
  Image src(4, 4, 16);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) src.Put16(r, c, static_cast<uint16_t>(4 * r + c + 1));
  }
  src.d.rect = {1, 1, 4, 3};  // 3 x 2 from column 1, row 1
  Image dst(4, 4, 16, 0xFF);
  dst.d.rect = {0, 2, 2, 4};  // 2 x 2 at column 0, row 2
  ASSERT_EQ(ConvertForPng(&dst.d, &src.d, &kDefaultConverterOptions, 0, 0), 0);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      const bool inside = r >= 2 && c < 2;
      const uint16_t expected =
          inside ? static_cast<uint16_t>((4 * (r - 1) + c + 2) << 2) : uint16_t{0xFFFF};
      EXPECT_EQ(dst.Get16(r, c), expected) << r << "," << c;
    }
  }
  // The TIFF rows start from the source rectangle's bottom.
  Image tiff(4, 4, 16, 0xFF);
  tiff.d.rect = {0, 0, 1, 1};
  ASSERT_EQ(ConvertForTiff(&tiff.d, &src.d, &kDefaultConverterOptions, 0, 0), 0);
  EXPECT_EQ(tiff.Get16(0, 0), (4 * 2 + 1 + 1) << 2);
  EXPECT_EQ(tiff.Get16(0, 1), 0xFFFF);
}

}  // namespace
}  // namespace kt
