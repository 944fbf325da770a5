// Pixel converters: refusals, per-pixel rules, common extents and row orders.
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
    v = {memory.data(), width, height, (width * (bits / 8) + 3) / 4 * 4, bits, RowOrder::kBottomUp};
  }
  uint8_t* Row(int row) { return memory.data() + row * v.stride; }
  void Put16(int row, int column, uint16_t value) {
    Row(row)[2 * column] = static_cast<uint8_t>(value);
    Row(row)[2 * column + 1] = static_cast<uint8_t>(value >> 8);
  }
  uint16_t Get16(int row, int column) {
    return static_cast<uint16_t>(Row(row)[2 * column] | (Row(row)[2 * column + 1] << 8));
  }
  ConstImageView in() const { return AsConst(v); }
  std::vector<uint8_t> memory;
  ImageView v{};
};

// The part of `image` inside `rect`, as a view of its own.
ImageView Part(const ImageView& image, const Rect& rect) {
  ImageView part = image;
  part.pixels += rect.top * image.stride + rect.left * (image.bits_per_pixel / 8);
  part.width = rect.right - rect.left;
  part.height = rect.bottom - rect.top;
  return part;
}

TEST(PixelConverters, RefuseUnusableViewsAndDepthsWithoutWriting) {
  struct Case {
    std::string name;
    bool converts;
    std::function<void(Image&, Image&)> spoil;
  };
  const std::vector<Case> cases = {
      {"valid", true, [](Image&, Image&) {}},
      {"no width", false, [](Image& dst, Image&) { dst.v.width = 0; }},
      {"no height", false, [](Image& dst, Image&) { dst.v.height = -1; }},
      {"no stride", false, [](Image& dst, Image&) { dst.v.stride = 0; }},
      {"stride below a row", false, [](Image& dst, Image&) { dst.v.stride = 3; }},
      {"no depth", false, [](Image& dst, Image&) { dst.v.bits_per_pixel = 0; }},
      {"no pixels", false, [](Image& dst, Image&) { dst.v.pixels = nullptr; }},
      {"source checked too", false, [](Image&, Image& src) { src.v.pixels = nullptr; }},
      {"source stride", false, [](Image&, Image& src) { src.v.stride = 7; }},
  };
  for (const PixelConverter converter : {ConvertForJpeg, ConvertForPng, ConvertForTiff}) {
    for (const Case& c : cases) {
      // A 4 x 3 pair each converter accepts: 16 to 8 bits for JPEG, 16 to 16 else.
      Image dst(4, 3, converter == ConvertForJpeg ? 8 : 16, 0xAB);
      Image src(4, 3, 16, 0x11);
      c.spoil(dst, src);
      EXPECT_EQ(converter(dst.v, src.in()), c.converts) << c.name;
      if (!c.converts) {
        EXPECT_EQ(dst.memory, std::vector<uint8_t>(dst.memory.size(), 0xAB)) << c.name;
      }
    }
  }
  Image raw(4, 3, 16);
  Image colour(4, 3, 24);
  EXPECT_FALSE(ConvertForJpeg(colour.v, colour.in()));  // 24 needs no conversion
  Image grey(4, 3, 8);
  EXPECT_FALSE(ConvertForPng(grey.v, raw.in()));  // depths must match
  EXPECT_FALSE(ConvertForTiff(grey.v, raw.in()));
  Image odd(4, 3, 40);
  EXPECT_FALSE(ConvertForTiff(odd.v, odd.in()));
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
  ASSERT_TRUE(ConvertForJpeg(grey.v, src.in()));
  ASSERT_TRUE(ConvertForPng(png.v, src.in()));
  ASSERT_TRUE(ConvertForTiff(tiff.v, src.in()));
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
    ASSERT_TRUE(ConvertForJpeg(jpeg.v, src.in()));
    EXPECT_EQ(std::vector<uint8_t>(jpeg.Row(0), jpeg.Row(0) + 3),
              (std::vector<uint8_t>{0x40, 0x80, 0xC0}));
    Image png(1, 1, bits);
    Image tiff(1, 1, bits);
    ASSERT_TRUE(ConvertForPng(png.v, src.in()));
    ASSERT_TRUE(ConvertForTiff(tiff.v, src.in()));
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
  ASSERT_TRUE(ConvertForJpeg(bgr.v, bgra.in()));
  ASSERT_TRUE(ConvertForTiff(rgba.v, bgra.in()));
  EXPECT_EQ(std::vector<uint8_t>(bgr.Row(0), bgr.Row(0) + 4),
            (std::vector<uint8_t>{10, 11, 12, 0}));
  EXPECT_EQ(std::vector<uint8_t>(rgba.Row(0), rgba.Row(0) + 4),
            (std::vector<uint8_t>{12, 11, 10, 13}));
}

TEST(PixelConverters, RowsReverseExactlyWhenTheRowOrdersDiffer) {
  Image src(2, 3, 24);
  for (int r = 0; r < 3; ++r) {
    for (int j = 0; j < 6; ++j) src.Row(r)[j] = static_cast<uint8_t>(10 * r + j);
  }
  Image tiff(2, 3, 24);
  tiff.v.rows = RowOrder::kTopDown;
  ASSERT_TRUE(ConvertForTiff(tiff.v, src.in()));
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
  ASSERT_TRUE(ConvertForJpeg(grey.v, raw.in()));
  Image flipped_grey(1, 3, 8);
  flipped_grey.v.rows = RowOrder::kTopDown;
  ASSERT_TRUE(ConvertForJpeg(flipped_grey.v, raw.in()));
  Image tiff16(1, 3, 16);
  tiff16.v.rows = RowOrder::kTopDown;
  ASSERT_TRUE(ConvertForTiff(tiff16.v, raw.in()));
  Image same16(1, 3, 16);
  ASSERT_TRUE(ConvertForTiff(same16.v, raw.in()));
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(grey.Row(r)[0], r + 1);
    EXPECT_EQ(flipped_grey.Row(r)[0], 3 - r);
    EXPECT_EQ(tiff16.Get16(r, 0), (3 - r) << 8);
    EXPECT_EQ(same16.Get16(r, 0), (r + 1) << 8);
  }
  // Eight-bit rows too, and only their pixels: the bytes after them are not
  // the source view's.
  Image narrow(3, 2, 8, 0x55);  // stride 4
  narrow.Row(1)[0] = 0x66;
  Image wide(6, 2, 8, 0xEE);  // stride 8
  wide.v.rows = RowOrder::kTopDown;
  ASSERT_TRUE(ConvertForTiff(wide.v, narrow.in()));
  EXPECT_EQ(std::vector<uint8_t>(wide.Row(0), wide.Row(0) + 8),
            (std::vector<uint8_t>{0x66, 0x55, 0x55, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(PixelConverters, OnlyTheCommonPartOfBothViewsIsConverted) {
  Image src(4, 4, 16);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) src.Put16(r, c, static_cast<uint16_t>(4 * r + c + 1));
  }
  const ConstImageView src_part = AsConst(Part(src.v, {1, 1, 4, 3}));  // 3 x 2 from (1, 1)
  Image dst(4, 4, 16, 0xFF);
  ASSERT_TRUE(ConvertForPng(Part(dst.v, {0, 2, 2, 4}), src_part));  // 2 x 2 at (0, 2)
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      const bool inside = r >= 2 && c < 2;
      const uint16_t expected =
          inside ? static_cast<uint16_t>((4 * (r - 1) + c + 2) << 2) : uint16_t{0xFFFF};
      EXPECT_EQ(dst.Get16(r, c), expected) << r << "," << c;
    }
  }
  // Reversed rows start from the source part's last row.
  Image tiff(4, 4, 16, 0xFF);
  tiff.v.rows = RowOrder::kTopDown;
  ASSERT_TRUE(ConvertForTiff(Part(tiff.v, {0, 0, 1, 1}), src_part));
  EXPECT_EQ(tiff.Get16(0, 0), (4 * 2 + 1 + 1) << 2);
  EXPECT_EQ(tiff.Get16(0, 1), 0xFFFF);
}

}  // namespace
}  // namespace kt
