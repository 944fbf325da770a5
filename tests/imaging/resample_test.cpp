// Nearest-neighbour resampling between surfaces.

#include "imaging/resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/dib_surface.h"

namespace kt {
namespace {

// Gives every pixel of a 24-bit surface a colour that names its stored row
// and column, so a copied pixel tells where it came from.
void FillWithCoordinates(CDibSurface& surface) {
  for (int r = 0; r < surface.height(); ++r) {
    uint8_t* row = surface.pixels() + r * surface.stride();
    for (int c = 0; c < surface.width(); ++c) {
      row[c * 3 + 0] = static_cast<uint8_t>(c);
      row[c * 3 + 1] = static_cast<uint8_t>(r);
      row[c * 3 + 2] = static_cast<uint8_t>(((c >> 8) & 0x0F) | ((r >> 8) << 4));
    }
  }
}

struct Source {
  int row;
  int column;
};

// Where the pixel at stored row r, column c of a 24-bit surface came from.
Source SourceOf(const CDibSurface& surface, int r, int c) {
  const uint8_t* p = surface.pixels() + r * surface.stride() + c * 3;
  return {p[1] | ((p[2] >> 4) << 8), p[0] | ((p[2] & 0x0F) << 8)};
}

class ResampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(source_.Create(384, 288, 24), 1);
    FillWithCoordinates(source_);
  }
  CDibSurface source_;
};

TEST_F(ResampleTest, DoubleSizeMakesTwoByTwoBlocks) {
  CDibSurface scaled;
  ASSERT_EQ(scaled.Create(768, 576, 24), 1);
  ASSERT_TRUE(scaled.ResampleFrom(ResampleNearest, &source_, nullptr, nullptr));
  for (int r = 0; r < 576; ++r) {
    for (int c = 0; c < 768; ++c) {
      const Source s = SourceOf(scaled, r, c);
      ASSERT_EQ(s.row, r / 2) << r << "," << c;
      ASSERT_EQ(s.column, c / 2) << r << "," << c;
    }
  }
}

TEST_F(ResampleTest, ShrinkTruncatesTheScaledIndex) {
  // Ratios 3.84 across and 5.76 down.
  CDibSurface straight;
  CDibSurface mirrored;
  ASSERT_EQ(straight.Create(100, 50, 24), 1);
  ASSERT_EQ(mirrored.Create(100, 50, 24), 1);
  ASSERT_TRUE(straight.ResampleFrom(ResampleNearest, &source_, nullptr, nullptr));
  ASSERT_TRUE(mirrored.ResampleFrom(ResampleNearestMirrored, &source_, nullptr, nullptr));
  for (int i = 0; i < 50; ++i) {
    for (int j = 0; j < 100; ++j) {
      const int row = i * 288 / 50;
      const int column = j * 384 / 100;
      ASSERT_EQ(SourceOf(straight, i, j).row, row);
      ASSERT_EQ(SourceOf(straight, i, j).column, column);
      ASSERT_EQ(SourceOf(mirrored, i, j).row, 287 - row);
      ASSERT_EQ(SourceOf(mirrored, i, j).column, column);
    }
  }
  EXPECT_EQ(SourceOf(straight, 49, 99).row, 282);
  EXPECT_EQ(SourceOf(straight, 49, 99).column, 380);
}

TEST_F(ResampleTest, RectanglesPlaceOutputButOnlySourceExtentsCount) {
  CDibSurface out;
  ASSERT_EQ(out.Create(20, 10, 32), 1);  // 4 bytes per pixel: the fourth is never written
  std::memset(out.pixels(), 0xAB, out.byte_size());
  const Rect dst{2, 3, 10, 7};            // 8 x 4
  const Rect src{100, 50, 100 + 16, 58};  // 16 x 8: ratio 2 both ways
  ASSERT_TRUE(out.ResampleFrom(ResampleNearestMirrored, &source_, &dst, &src));
  for (int r = 0; r < 10; ++r) {
    for (int c = 0; c < 20; ++c) {
      const uint8_t* p = out.pixels() + r * out.stride() + c * 4;
      EXPECT_EQ(p[3], 0xAB);
      const bool inside = r >= 3 && r < 7 && c >= 2 && c < 10;
      if (!inside) {
        EXPECT_EQ(p[0] & p[1] & p[2], 0xAB) << r << "," << c;
        continue;
      }
      // Column 2 x (c - 2), without the source's left; rows from src.bottom down.
      const int column = 2 * (c - 2);
      const int row = 58 - 2 * (r - 3) - 1;
      EXPECT_EQ(p[0], column) << r << "," << c;
      EXPECT_EQ(p[1], row) << r << "," << c;
    }
  }
}

// The straightforward nearest-neighbour loop, one pixel at a time, which the
// routines must match byte for byte whatever shortcuts they take.
void ReferenceResample(bool mirrored, const ImageView& dst, const Rect& d,
                       const ConstImageView& src, const Rect& s) {
  const int dst_pp = dst.bits_per_pixel / 8;
  const int src_pp = src.bits_per_pixel / 8;
  const float horizontal =
      static_cast<float>(s.right - s.left) / static_cast<float>(d.right - d.left);
  const float vertical =
      static_cast<float>(s.bottom - s.top) / static_cast<float>(d.bottom - d.top);
  for (int i = 0; i < d.bottom - d.top; ++i) {
    volatile float row_product = static_cast<float>(i) * vertical;
    const int u = std::min(static_cast<int>(row_product), src.height - 1);
    const int row = mirrored ? s.bottom - u - 1 : u;
    for (int j = 0; j < d.right - d.left; ++j) {
      volatile float column_product = static_cast<float>(j) * horizontal;
      const int v = std::min(static_cast<int>(column_product), src.width - 1);
      std::memcpy(dst.pixels + (d.top + i) * dst.stride + (d.left + j) * dst_pp,
                  src.pixels + row * src.stride + v * src_pp, 3);
    }
  }
}

// Exact doubling, the identity, odd sizes, shrinking, a deeper destination
// (whose fourth bytes must survive) and a part of the destination, both row
// orders: every byte as the straightforward loop leaves it.
TEST(ResampleShortcutTest, SameBytesAsThePlainLoop) {
  struct Case {
    int src_w, src_h, src_bits, dst_w, dst_h, dst_bits;
    Rect dst_area;
  };
  const Case cases[] = {
      {384, 288, 24, 768, 576, 24, {0, 0, 768, 576}},  // the display's double size
      {7, 5, 24, 14, 10, 24, {0, 0, 14, 10}},
      {7, 5, 24, 13, 11, 24, {0, 0, 13, 11}},  // odd: no exact doubling
      {7, 5, 24, 7, 5, 24, {0, 0, 7, 5}},      // one to one
      {9, 9, 24, 5, 3, 24, {0, 0, 5, 3}},
      {7, 5, 24, 14, 10, 32, {0, 0, 14, 10}},
      {7, 5, 32, 14, 10, 24, {0, 0, 14, 10}},
      {6, 4, 24, 20, 12, 24, {3, 1, 15, 9}},  // 12 x 8: doubled rows, not from column 0
  };
  for (const Case& c : cases) {
    for (bool mirrored : {false, true}) {
      const int src_stride = (c.src_w * c.src_bits / 8 + 3) / 4 * 4;
      const int dst_stride = (c.dst_w * c.dst_bits / 8 + 3) / 4 * 4;
      std::vector<uint8_t> in(static_cast<size_t>(src_stride * c.src_h));
      for (size_t k = 0; k < in.size(); ++k) in[k] = static_cast<uint8_t>(k * 37 + k / 251);
      std::vector<uint8_t> got(static_cast<size_t>(dst_stride * c.dst_h), 0xC5);
      std::vector<uint8_t> want = got;
      const ConstImageView src{in.data(), c.src_w, c.src_h, src_stride, c.src_bits};
      const Rect whole{0, 0, c.src_w, c.src_h};
      const auto routine = mirrored ? ResampleNearestMirrored : ResampleNearest;
      ASSERT_TRUE(routine(ImageView{got.data(), c.dst_w, c.dst_h, dst_stride, c.dst_bits},
                          c.dst_area, src, whole));
      ReferenceResample(mirrored, ImageView{want.data(), c.dst_w, c.dst_h, dst_stride, c.dst_bits},
                        c.dst_area, src, whole);
      EXPECT_EQ(got, want) << c.src_w << "x" << c.src_h << " to " << c.dst_w << "x" << c.dst_h
                           << " (" << c.dst_bits << " bits), mirrored " << mirrored;
    }
  }
}

// Reading and writing the same buffer: each output row reads the source as
// the loop has left it so far, shortcuts or not.
TEST(ResampleShortcutTest, SameBufferGivesThePlainLoopsResult) {
  std::vector<uint8_t> got(12 * 8);  // 4 x 8 at 24 bits, stride 12
  for (size_t k = 0; k < got.size(); ++k) got[k] = static_cast<uint8_t>(k * 11 + 1);
  std::vector<uint8_t> want = got;
  const Rect out{0, 0, 4, 8};
  const Rect in{0, 0, 2, 4};  // ratio 1/2: each source row read by two output rows
  ASSERT_TRUE(ResampleNearest(ImageView{got.data(), 4, 8, 12, 24}, out,
                              ConstImageView{got.data(), 4, 8, 12, 24}, in));
  ReferenceResample(false, ImageView{want.data(), 4, 8, 12, 24}, out,
                    ConstImageView{want.data(), 4, 8, 12, 24}, in);
  EXPECT_EQ(got, want);
}

TEST(ResampleGuardTest, RefusesWhatWouldLeaveEitherBuffer) {
  std::vector<uint8_t> dst(12 * 4, 0x55);  // 4 x 4, stride 12
  std::vector<uint8_t> src(12 * 4, 0x11);
  const std::vector<uint8_t> untouched = dst;
  const Rect whole{0, 0, 4, 4};
  const auto call = [&](const Rect& d, const Rect& s, int dst_bits, int dst_stride, int src_stride,
                        bool mirrored) {
    const auto f = mirrored ? ResampleNearestMirrored : ResampleNearest;
    const ImageView out{dst.data(), 4, 4, dst_stride, dst_bits, RowOrder::kBottomUp};
    const ConstImageView in{src.data(), 4, 4, src_stride, 24, RowOrder::kBottomUp};
    return f(out, d, in, s);
  };
  for (bool mirrored : {false, true}) {
    const Rect too_wide{0, 0, 5, 4};
    const Rect too_tall{0, 1, 4, 5};
    const Rect negative{-1, 0, 3, 4};
    const Rect empty{2, 2, 2, 4};
    const Rect reversed{3, 0, 1, 4};
    for (const Rect& bad : {too_wide, too_tall, negative, empty, reversed}) {
      EXPECT_FALSE(call(bad, whole, 24, 12, 12, mirrored));
      EXPECT_FALSE(call(whole, bad, 24, 12, 12, mirrored));
    }
    EXPECT_FALSE(call(whole, whole, 16, 12, 12, mirrored));  // pixels too short to copy
    EXPECT_FALSE(call(whole, whole, 24, 11, 12, mirrored));  // strides shorter than a row
    EXPECT_FALSE(call(whole, whole, 24, 12, 11, mirrored));
    const ImageView no_pixels{nullptr, 4, 4, 12, 24, RowOrder::kBottomUp};
    const ConstImageView in{src.data(), 4, 4, 12, 24, RowOrder::kBottomUp};
    EXPECT_FALSE(
        (mirrored ? ResampleNearestMirrored : ResampleNearest)(no_pixels, whole, in, whole));
    EXPECT_EQ(dst, untouched);
    EXPECT_TRUE(call(whole, whole, 24, 12, 12, mirrored));
    EXPECT_NE(dst, untouched);
    dst = untouched;
  }
}

}  // namespace
}  // namespace kt
