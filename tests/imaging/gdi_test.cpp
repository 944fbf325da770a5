// The drawing primitives under CDibSurface. Cases marked "emulation" hold for
// the memory-backed version only; GDI answers them differently (it converts
// between formats and tolerates some misuse), so they are skipped on Windows.

#include "platform/gdi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace kt::platform {
namespace {

// A section selected into its own memory DC, released in the GDI order.
class Section {
 public:
  Section(int width, int height, int bits) {
    BitmapInfoHeader header{};
    header.size = 40;
    header.width = width;
    header.height = height;
    header.planes = 1;
    header.bit_count = static_cast<uint16_t>(bits);
    bitmap_ = CreateDibSection(header, &bits_);
    dc_ = CreateMemoryDc();
    if (bitmap_ && dc_) displaced_ = SelectBitmap(dc_, bitmap_);
    stride_ = (width * bits / 8 + 3) / 4 * 4;
  }
  ~Section() {
    if (displaced_) SelectBitmap(dc_, displaced_);
    if (bitmap_) DeleteBitmap(bitmap_);
    if (dc_) DeleteDc(dc_);
  }
  Section(const Section&) = delete;
  Section& operator=(const Section&) = delete;

  bool ok() const { return displaced_ != nullptr; }
  DeviceContext dc() const { return dc_; }
  Bitmap bitmap() const { return bitmap_; }
  uint8_t* row(int stored_row) { return static_cast<uint8_t*>(bits_) + stored_row * stride_; }

 private:
  void* bits_ = nullptr;
  Bitmap bitmap_ = nullptr;
  DeviceContext dc_ = nullptr;
  Bitmap displaced_ = nullptr;
  int stride_ = 0;
};

TEST(GdiTest, NullHandlesFail) {
  void* bits = reinterpret_cast<void*>(1);
  BitmapInfoHeader header{};
  EXPECT_EQ(CreateDibSection(header, &bits), nullptr);
  EXPECT_EQ(bits, nullptr);
  RgbQuad table[256];
  EXPECT_EQ(SelectBitmap(nullptr, nullptr), nullptr);
  EXPECT_FALSE(DeleteBitmap(nullptr));
  EXPECT_FALSE(DeleteDc(nullptr));
  EXPECT_EQ(GetColorTable(nullptr, 0, 256, table), 0);
  EXPECT_EQ(SetColorTable(nullptr, 0, 256, table), 0);
  EXPECT_FALSE(BlitCopy(nullptr, 0, 0, 1, 1, nullptr, 0, 0));
  EXPECT_FALSE(StretchBlitCopy(nullptr, 0, 0, 1, 1, nullptr, 0, 0, 1, 1));
}

TEST(GdiTest, ColorTableBelongsToEightBitSections) {
  Section grey(4, 4, 8);
  ASSERT_TRUE(grey.ok());
  RgbQuad table[256];
  for (int i = 0; i < 256; ++i) table[i] = {static_cast<uint8_t>(i), 1, 2, 0};
  EXPECT_EQ(SetColorTable(grey.dc(), 0, 256, table), 256);
  RgbQuad read[4] = {};
  EXPECT_EQ(GetColorTable(grey.dc(), 252, 4, read), 4);
  EXPECT_EQ(read[3].blue, 255);
  EXPECT_EQ(read[3].red, 2);
  // Reads past the end stop at the last entry.
  EXPECT_EQ(GetColorTable(grey.dc(), 254, 10, table), 2);

  Section colour(4, 4, 24);
  ASSERT_TRUE(colour.ok());
  EXPECT_EQ(GetColorTable(colour.dc(), 0, 256, table), 0);
}

TEST(GdiTest, OverlappingCopyWithinOneSection) {
  Section s(8, 1, 8);
  ASSERT_TRUE(s.ok());
  for (int i = 0; i < 8; ++i) s.row(0)[i] = static_cast<uint8_t>(i + 1);
  ASSERT_TRUE(BlitCopy(s.dc(), 1, 0, 6, 1, s.dc(), 0, 0));
  const uint8_t expected[8] = {1, 1, 2, 3, 4, 5, 6, 8};
  EXPECT_EQ(std::memcmp(s.row(0), expected, 8), 0);
}

TEST(GdiTest, StretchDoublesEachPixel) {
  Section source(2, 2, 24);
  Section target(4, 4, 24);
  ASSERT_TRUE(source.ok() && target.ok());
  // Stored row r, column c holds (10 r + c) in its blue byte.
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 2; ++c) source.row(r)[c * 3] = static_cast<uint8_t>(10 * r + c + 1);
  }
  ASSERT_TRUE(StretchBlitCopy(target.dc(), 0, 0, 4, 4, source.dc(), 0, 0, 2, 2));
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(target.row(r)[c * 3], 10 * (r / 2) + c / 2 + 1) << r << "," << c;
    }
  }
}

// Equal extents, mirrored down or not, partly outside either bitmap: each
// drawn pixel is the one the pixel-centre rule picks, and only those inside
// both bitmaps are drawn. Where the source rectangle starts outside its bitmap
// the rule is our stand-in's; Windows' own GDI draws something else there, so
// those cases run only off Windows.
TEST(GdiTest, EqualExtentsFollowThePixelCentreRule) {
  struct Case {
    int dst_x, dst_y, src_x, src_y, width, height;
    bool stand_in_only;
  };
  const Case cases[] = {{0, 0, 0, 4, 5, -5, false}, {0, 0, 0, 0, 5, 5, false},
                        {-2, 1, 0, 6, 5, -5, true}, {1, -1, 2, 0, 5, 5, false},
                        {0, 0, -1, 3, 5, -5, true}, {2, 2, 0, 4, 4, -4, false}};
  for (const Case& c : cases) {
#ifdef _WIN32
    if (c.stand_in_only) continue;
#endif
    Section source(5, 5, 24);
    Section target(5, 5, 24);
    ASSERT_TRUE(source.ok() && target.ok());
    for (int r = 0; r < 5; ++r) {
      for (int x = 0; x < 15; ++x) source.row(r)[x] = static_cast<uint8_t>(r * 16 + x + 1);
      std::memset(target.row(r), 0, 15);
    }
    ASSERT_TRUE(StretchBlitCopy(target.dc(), c.dst_x, c.dst_y, c.width, std::abs(c.height),
                                source.dc(), c.src_x, c.src_y, c.width, c.height));
    for (int r = 0; r < 5; ++r) {
      for (int x = 0; x < 5; ++x) {
        // Logical rows are top-down; the sections store the bottom row first.
        const int from_top = r - c.dst_y;
        const int sy = c.height < 0 ? c.src_y - from_top : c.src_y + from_top;
        const int sx = c.src_x + x - c.dst_x;
        const bool drawn = from_top >= 0 && from_top < std::abs(c.height) && x >= c.dst_x &&
                           x < c.dst_x + c.width && sx >= 0 && sx < 5 && sy >= 0 && sy < 5;
        const uint8_t* got = target.row(4 - r) + 3 * x;
        for (int b = 0; b < 3; ++b) {
          EXPECT_EQ(got[b], drawn ? source.row(4 - sy)[3 * sx + b] : 0)
              << "case " << &c - cases << " row " << r << " column " << x;
        }
      }
    }
  }
}

TEST(GdiTest, HorizontalMirror) {
  Section source(3, 1, 32);
  Section target(3, 1, 32);
  ASSERT_TRUE(source.ok() && target.ok());
  for (int c = 0; c < 3; ++c) source.row(0)[c * 4] = static_cast<uint8_t>(c + 1);
  ASSERT_TRUE(StretchBlitCopy(target.dc(), 2, 0, -3, 1, source.dc(), 0, 0, 3, 1));
  EXPECT_EQ(target.row(0)[0], 3);
  EXPECT_EQ(target.row(0)[4], 2);
  EXPECT_EQ(target.row(0)[8], 1);
}

// Empty areas draw nothing and succeed; a negative extent in a plain copy
// names the same area on both sides (origin included) and mirrors nothing.
TEST(GdiTest, EmptyAndNegativeAreasInPlainCopies) {
  Section source(4, 1, 8);
  Section target(4, 1, 8);
  ASSERT_TRUE(source.ok() && target.ok());
  for (int c = 0; c < 4; ++c) source.row(0)[c] = static_cast<uint8_t>(c + 1);
  EXPECT_TRUE(StretchBlitCopy(target.dc(), 0, 0, 0, 1, source.dc(), 0, 0, 4, 1));
  EXPECT_TRUE(BlitCopy(target.dc(), 0, 0, 0, 1, source.dc(), 0, 0));
  EXPECT_TRUE(BlitCopy(target.dc(), 9, 0, 2, 1, source.dc(), 0, 0));
  const uint8_t untouched[4] = {0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(target.row(0), untouched, 4), 0);

  ASSERT_TRUE(BlitCopy(target.dc(), 3, 0, -2, 1, source.dc(), 3, 0));
  const uint8_t expected[4] = {0, 0, 3, 4};
  EXPECT_EQ(std::memcmp(target.row(0), expected, 4), 0);
}

#ifndef _WIN32
TEST(GdiTest, EmulationRefusesMismatchedFormats) {
  Section colour(4, 4, 24);
  Section raw(4, 4, 16);
  ASSERT_TRUE(colour.ok() && raw.ok());
  EXPECT_FALSE(BlitCopy(colour.dc(), 0, 0, 4, 4, raw.dc(), 0, 0));
  EXPECT_FALSE(StretchBlitCopy(colour.dc(), 0, 0, 4, 4, raw.dc(), 0, 3, 4, -4));
}

TEST(GdiTest, EmulationTracksSelectionAndStaleHandles) {
  BitmapInfoHeader header{40, 4, 4, 1, 24, 0, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  Bitmap bitmap = CreateDibSection(header, &bits);
  ASSERT_NE(bitmap, nullptr);
  DeviceContext first = CreateMemoryDc();
  DeviceContext second = CreateMemoryDc();
  Bitmap placeholder = SelectBitmap(first, bitmap);
  ASSERT_NE(placeholder, nullptr);
  EXPECT_EQ(SelectBitmap(second, bitmap), nullptr) << "selected elsewhere";
  EXPECT_FALSE(DeleteBitmap(bitmap)) << "still selected";
  EXPECT_EQ(SelectBitmap(first, placeholder), bitmap);
  EXPECT_TRUE(DeleteBitmap(bitmap));
  EXPECT_FALSE(DeleteBitmap(bitmap)) << "already deleted";
  EXPECT_TRUE(DeleteDc(first));
  EXPECT_TRUE(DeleteDc(second));
  EXPECT_FALSE(DeleteDc(first));
  EXPECT_FALSE(BlitCopy(first, 0, 0, 1, 1, second, 0, 0));

  // Bad headers: no rows, compressed, odd depth, too large.
  for (auto change :
       {+[](BitmapInfoHeader& h) { h.height = 0; }, +[](BitmapInfoHeader& h) { h.compression = 1; },
        +[](BitmapInfoHeader& h) { h.bit_count = 12; },
        +[](BitmapInfoHeader& h) { h.width = 1 << 20, h.height = 1 << 20; },
        +[](BitmapInfoHeader& h) { h.width = INT32_MAX, h.height = INT32_MIN; }}) {
    BitmapInfoHeader bad = header;
    change(bad);
    EXPECT_EQ(CreateDibSection(bad, &bits), nullptr);
  }
}

TEST(GdiTest, EmulationHonoursTopDownSections) {
  Section top_down(2, -2, 8);
  Section bottom_up(2, 2, 8);
  ASSERT_TRUE(top_down.ok() && bottom_up.ok());
  top_down.row(0)[0] = 5;  // logical row 0 of a top-down section
  ASSERT_TRUE(BlitCopy(bottom_up.dc(), 0, 0, 2, 2, top_down.dc(), 0, 0));
  EXPECT_EQ(bottom_up.row(1)[0], 5);
}
#endif

}  // namespace
}  // namespace kt::platform
