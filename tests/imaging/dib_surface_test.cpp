// CDibSurface: formats, colour tables, copies, blits and the hand-off of
// geometry to resamplers and converters. The same tests run natively (drawing
// emulated on memory) and under wine (real GDI).

#include "imaging/dib_surface.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

namespace kt {
namespace {

// Marks each 24-bit pixel with its stored row and column: (column, row, 0xA5).
void MarkPixels(CDibSurface& surface) {
  for (int row = 0; row < surface.height(); ++row) {
    uint8_t* p = surface.pixels() + row * surface.stride();
    for (int col = 0; col < surface.width(); ++col, p += 3) {
      p[0] = static_cast<uint8_t>(col);
      p[1] = static_cast<uint8_t>(row);
      p[2] = 0xA5;
    }
  }
}

const uint8_t* StoredPixel(const CDibSurface& surface, int row, int col) {
  return surface.pixels() + row * surface.stride() + col * (surface.bits_per_pixel() / 8);
}

std::vector<uint8_t> Bytes(const CDibSurface& surface) {
  return std::vector<uint8_t>(surface.pixels(), surface.pixels() + surface.byte_size());
}

void ExpectEmpty(const CDibSurface& surface) {
  EXPECT_TRUE(surface.empty());
  EXPECT_EQ(surface.width(), 0);
  EXPECT_EQ(surface.height(), 0);
  EXPECT_EQ(surface.stride(), 0);
  EXPECT_EQ(surface.bits_per_pixel(), 0);
  EXPECT_EQ(surface.byte_size(), 0u);
  EXPECT_EQ(surface.device_context(), nullptr);
  EXPECT_FALSE(surface.has_section());
  platform::BitmapInfoHeader reset{};
  reset.size = 40;
  EXPECT_EQ(std::memcmp(&surface.info_header(), &reset, sizeof(reset)), 0);
}

struct FormatCase {
  int width, height, bits;
  int32_t stride;
  size_t bytes;
};

TEST(DibSurfaceTest, CreateComputesStrideSizeAndHeader) {
  const FormatCase cases[] = {{384, 288, 24, 1152, 331776}, {384, 288, 16, 768, 221184},
                              {5, 1, 24, 16, 16},           {5, 3, 8, 8, 24},
                              {3, 2, 32, 12, 24},           {1, 1, 16, 4, 4}};
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.bits);
    CDibSurface surface;
    ASSERT_EQ(surface.Create(c.width, c.height, c.bits), 1);
    EXPECT_EQ(surface.stride(), c.stride);
    EXPECT_EQ(surface.byte_size(), c.bytes);
    EXPECT_TRUE(surface.has_section());
    EXPECT_NE(surface.device_context(), nullptr);
    const platform::BitmapInfoHeader& h = surface.info_header();
    EXPECT_EQ(h.size, 40u);
    EXPECT_EQ(h.width, c.width);
    EXPECT_EQ(h.height, c.height);
    EXPECT_EQ(h.planes, 1);
    EXPECT_EQ(h.bit_count, c.bits);
    EXPECT_EQ(h.compression, 0u);
    EXPECT_EQ(h.size_image + h.clr_used + h.clr_important, 0u);
    EXPECT_EQ(h.x_pels_per_meter | h.y_pels_per_meter, 0);
    EXPECT_EQ(Bytes(surface), std::vector<uint8_t>(c.bytes, 0));
    // The whole of the pixel memory is writable.
    std::memset(surface.pixels(), 0x5A, surface.byte_size());
  }
}

TEST(DibSurfaceTest, DepthIsTakenFromTheLow16Bits) {
  CDibSurface surface;
  ASSERT_EQ(surface.Create(4, 2, 0x10018), 1);
  EXPECT_EQ(surface.bits_per_pixel(), 24);
  EXPECT_EQ(surface.stride(), 12);
}

TEST(DibSurfaceTest, RejectedArgumentsLeaveTheSurfaceAsItWas) {
  CDibSurface surface;
  ASSERT_EQ(surface.Create(8, 4, 24), 1);
  surface.pixels()[5] = 77;
  const uint8_t* memory = surface.pixels();
  const CDibSurface empty;

  EXPECT_EQ(surface.Create(0, 288, 24), 0);
  EXPECT_EQ(surface.Create(384, 0, 24), 0);
  EXPECT_EQ(surface.Create(-5, 10, 24), 0);
  EXPECT_EQ(surface.Create(10, -1, 24), 0);
  EXPECT_EQ(surface.Create(10, 10, 0), 0);
  EXPECT_EQ(surface.Create(10, 10, 0x10000), 0);
  EXPECT_EQ(surface.Create(10, 10, 4), 0);
  EXPECT_EQ(surface.CreateInMemory(0, 288, 24), 0);
  EXPECT_EQ(surface.CreateInMemory(10, 10, 0), 0);
  EXPECT_EQ(surface.CreateLike(nullptr), 0);
  EXPECT_EQ(surface.CreateLike(&empty), 0);
  EXPECT_EQ(surface.Assign(empty), 0);

  EXPECT_EQ(surface.width(), 8);
  EXPECT_EQ(surface.height(), 4);
  EXPECT_EQ(surface.bits_per_pixel(), 24);
  EXPECT_EQ(surface.pixels(), memory);
  EXPECT_EQ(surface.pixels()[5], 77);
  EXPECT_TRUE(surface.has_section());
}

TEST(DibSurfaceTest, HugeSizesFailCleanly) {
  CDibSurface surface;
  EXPECT_EQ(surface.Create(100000, 100000, 24), 0);
  EXPECT_EQ(surface.CreateInMemory(100000, 100000, 24), 0);
  EXPECT_EQ(surface.Create(INT_MAX, 1, 32), 0);
  EXPECT_EQ(surface.Create(1, INT_MAX, 8), 0);
  EXPECT_EQ(surface.CreateInMemory(INT_MAX, INT_MAX, 0xFFFF), 0);
  ExpectEmpty(surface);
  // Just above the limit fails, and the surface still works afterwards.
  EXPECT_EQ(surface.CreateInMemory(1 << 14, (1 << 14) + 1, 32), 0);
  EXPECT_EQ(surface.Create(16, 16, 32), 1);
}

TEST(DibSurfaceTest, EightBitSurfaceGetsGreyRampAndCreateLikeCopiesItsTable) {
  CDibSurface grey;
  ASSERT_EQ(grey.Create(10, 3, 8), 1);
  platform::RgbQuad table[256];
  ASSERT_TRUE(grey.ReadColorTable(table));
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(table[i].blue, i);
    ASSERT_EQ(table[i].green, i);
    ASSERT_EQ(table[i].red, i);
    ASSERT_EQ(table[i].reserved, 0);
  }

  // A table that differs from the ramp shows CreateLike copies, not re-ramps.
  platform::RgbQuad custom[256];
  for (int i = 0; i < 256; ++i) {
    custom[i] = {static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i / 2), 7, 0};
  }
  ASSERT_EQ(platform::SetColorTable(grey.device_context(), 0, 256, custom), 256);
  grey.pixels()[0] = 9;

  CDibSurface like;
  ASSERT_EQ(like.CreateLike(&grey), 1);
  EXPECT_TRUE(like.has_section());
  EXPECT_EQ(like.stride(), 12);
  EXPECT_EQ(std::memcmp(&like.info_header(), &grey.info_header(), 40), 0);
  EXPECT_EQ(like.pixels()[0], 0) << "CreateLike does not copy pixels";
  ASSERT_TRUE(like.ReadColorTable(table));
  EXPECT_EQ(std::memcmp(table, custom, sizeof(custom)), 0);
}

TEST(DibSurfaceTest, ColorTableOfSurfacesWithoutOne) {
  platform::RgbQuad table[256] = {};
  CDibSurface colour;
  ASSERT_EQ(colour.Create(4, 4, 24), 1);
  EXPECT_FALSE(colour.ReadColorTable(table));
  CDibSurface memory;
  ASSERT_EQ(memory.CreateInMemory(4, 4, 8), 1);
  EXPECT_FALSE(memory.ReadColorTable(table));
  EXPECT_EQ(table[200].red, 200);  // the default ramp is handed out

  // CreateLike of an in-memory 8-bit surface gets the ramp.
  CDibSurface like;
  ASSERT_EQ(like.CreateLike(&memory), 1);
  ASSERT_TRUE(like.ReadColorTable(table));
  EXPECT_EQ(table[17].green, 17);
}

TEST(DibSurfaceTest, AssignFromSectionSurfaceCopiesIntoASection) {
  CDibSurface source;
  ASSERT_EQ(source.Create(7, 5, 24), 1);
  MarkPixels(source);

  CDibSurface copy;
  ASSERT_EQ(copy.Create(2, 2, 16), 1);
  ASSERT_NE(copy.Assign(source), 0);
  EXPECT_TRUE(copy.has_section());
  EXPECT_NE(copy.pixels(), source.pixels());
  EXPECT_EQ(copy.stride(), source.stride());
  EXPECT_EQ(Bytes(copy), Bytes(source));

  const CDibSurface constructed(source);
  EXPECT_TRUE(constructed.has_section());
  EXPECT_EQ(Bytes(constructed), Bytes(source));

  CDibSurface assigned;
  assigned = source;
  EXPECT_EQ(Bytes(assigned), Bytes(source));

  // Copies are independent.
  copy.pixels()[0] ^= 0xFF;
  EXPECT_NE(Bytes(copy), Bytes(source));
}

TEST(DibSurfaceTest, AssignFromInMemorySurfaceYieldsInMemoryCopy) {
  CDibSurface source;
  ASSERT_EQ(source.CreateInMemory(9, 3, 24), 1);
  EXPECT_TRUE(source.is_in_memory());
  EXPECT_EQ(source.device_context(), nullptr);
  EXPECT_EQ(source.stride(), 28);
  MarkPixels(source);

  CDibSurface copy;
  ASSERT_EQ(copy.Create(9, 3, 24), 1);
  ASSERT_EQ(copy.Assign(source), 1);
  EXPECT_TRUE(copy.is_in_memory());
  EXPECT_FALSE(copy.has_section());
  EXPECT_NE(copy.pixels(), source.pixels());
  EXPECT_EQ(Bytes(copy), Bytes(source));
  EXPECT_EQ(std::memcmp(&copy.info_header(), &source.info_header(), 40), 0);
}

TEST(DibSurfaceTest, AssignToItselfKeepsThePixels) {
  CDibSurface surface;
  ASSERT_EQ(surface.Create(5, 2, 24), 1);
  MarkPixels(surface);
  const std::vector<uint8_t> before = Bytes(surface);
  EXPECT_EQ(surface.Assign(surface), 1);
  EXPECT_EQ(surface.CreateLike(&surface), 1);  // same format again, pixels cleared
  EXPECT_EQ(surface.width(), 5);
  EXPECT_EQ(Bytes(surface), std::vector<uint8_t>(before.size(), 0));
}

// Logical (top-down) row y of a bottom-up surface of height h is stored row
// h - 1 - y, on both platforms.
TEST(DibSurfaceTest, BlitFromSubRectangleUsesTopDownCoordinates) {
  CDibSurface source;
  ASSERT_EQ(source.Create(6, 4, 24), 1);
  MarkPixels(source);
  CDibSurface target;
  ASSERT_EQ(target.Create(6, 4, 24), 1);

  // Logical row 0 of the source (stored row 3), columns 1..2, to logical (2, 3).
  const Rect area{1, 0, 3, 1};
  ASSERT_NE(target.BlitFrom(&source, &area, 2, 3), 0);
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 6; ++col) {
      SCOPED_TRACE(testing::Message() << "stored row " << row << " col " << col);
      const uint8_t* p = StoredPixel(target, row, col);
      if (row == 0 && (col == 2 || col == 3)) {
        EXPECT_EQ(p[0], col - 1);
        EXPECT_EQ(p[1], 3);
        EXPECT_EQ(p[2], 0xA5);
      } else {
        EXPECT_EQ(p[0] | p[1] | p[2], 0);
      }
    }
  }
}

TEST(DibSurfaceTest, BlitFromClipsToTheDestination) {
  CDibSurface source;
  ASSERT_EQ(source.Create(6, 4, 24), 1);
  MarkPixels(source);
  CDibSurface target;
  ASSERT_EQ(target.Create(6, 4, 24), 1);
  // The whole source at logical (4, 2): only its top-left 2 x 2 pixels land.
  ASSERT_NE(target.BlitFrom(&source, nullptr, 4, 2), 0);
  int written = 0;
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 6; ++col) {
      const uint8_t* p = StoredPixel(target, row, col);
      if (p[2] == 0) continue;
      ++written;
      // Logical (col, 3 - row) came from source logical (col - 4, 1 - row),
      // which is source stored row 4 - 1 - (1 - row) = row + 2.
      EXPECT_EQ(p[0], col - 4);
      EXPECT_EQ(p[1], row + 2);
    }
  }
  EXPECT_EQ(written, 4);
}

TEST(DibSurfaceTest, BlitFromNeedsDeviceContextsOnBothSides) {
  CDibSurface section;
  ASSERT_EQ(section.Create(4, 4, 24), 1);
  CDibSurface memory;
  ASSERT_EQ(memory.CreateInMemory(4, 4, 24), 1);
  const CDibSurface empty;
  EXPECT_EQ(memory.BlitFrom(&section, nullptr, 0, 0), 0);
  EXPECT_EQ(section.BlitFrom(&memory, nullptr, 0, 0), 0);
  EXPECT_EQ(section.BlitFrom(&empty, nullptr, 0, 0), 0);
  EXPECT_EQ(section.BlitFrom(nullptr, nullptr, 0, 0), 0);
  const Rect inverted{3, 3, 1, 1};
  EXPECT_EQ(section.BlitFrom(&section, &inverted, 0, 0), 0);
  const Rect hostile{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  EXPECT_EQ(section.BlitFrom(&section, &hostile, 0, 0), 0);
}

// A top-to-bottom mirror of the whole surface. A negative extent includes its
// origin, so the source area of height -h starts at the last row, h - 1.
TEST(DibSurfaceTest, MirroredStretchPutsStoredRowZeroLast) {
  CDibSurface source;
  ASSERT_EQ(source.Create(384, 288, 24), 1);
  MarkPixels(source);
  CDibSurface target;
  ASSERT_EQ(target.Create(384, 288, 24), 1);
  ASSERT_TRUE(platform::StretchBlitCopy(target.device_context(), 0, 0, 384, 288,
                                        source.device_context(), 0, 287, 384, -288));
  for (int row = 0; row < 288; ++row) {
    ASSERT_EQ(std::memcmp(target.pixels() + row * 1152, source.pixels() + (287 - row) * 1152, 1152),
              0)
        << "stored row " << row;
  }
}

// With the source origin at the height itself (0, h), size (w, -h), the area
// reaches one row past the bitmap: GDI clips that row away, so the picture
// lands one row lower and the top row of the destination is not drawn.
TEST(DibSurfaceTest, MirroredStretchFromOriginAtHeightIsOneRowShort) {
  CDibSurface source;
  ASSERT_EQ(source.Create(4, 4, 24), 1);
  MarkPixels(source);
  CDibSurface target;
  ASSERT_EQ(target.Create(4, 4, 24), 1);
  ASSERT_TRUE(platform::StretchBlitCopy(target.device_context(), 0, 0, 4, 4,
                                        source.device_context(), 0, 4, 4, -4));
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(StoredPixel(target, row, 1)[1], 2 - row) << "stored row " << row;
    EXPECT_EQ(StoredPixel(target, row, 1)[0], 1);
  }
  EXPECT_EQ(StoredPixel(target, 3, 1)[2], 0) << "top row untouched";
}

TEST(DibSurfaceTest, ReleaseEmptiesAndRepeats) {
  CDibSurface section;
  ASSERT_EQ(section.Create(8, 8, 8), 1);
  section.Release();
  ExpectEmpty(section);
  section.Release();
  ExpectEmpty(section);

  CDibSurface memory;
  ASSERT_EQ(memory.CreateInMemory(8, 8, 32), 1);
  memory.Release();
  ExpectEmpty(memory);
  // A released surface is reusable.
  ASSERT_EQ(memory.Create(3, 3, 24), 1);
  EXPECT_EQ(memory.stride(), 12);
}

TEST(DibSurfaceTest, DeepSurfacesStillGetPixelMemory) {
  // 48 bits per pixel: used by the encoders, not a depth every section takes.
  CDibSurface surface;
  ASSERT_EQ(surface.Create(5, 2, 48), 1);
  EXPECT_EQ(surface.stride(), 32);
  EXPECT_TRUE(surface.is_in_memory()) << "GDI makes no 48-bit section";
  ASSERT_NE(surface.pixels(), nullptr);
  std::memset(surface.pixels(), 1, surface.byte_size());
  CDibSurface copy(surface);
  EXPECT_EQ(Bytes(copy), Bytes(surface));
}

// Resampling hands views and areas to a function; record them.
struct ResampleCall {
  int calls = 0;
  ImageView dst{};
  ConstImageView src{};
  Rect dst_area{}, src_area{};
};
ResampleCall g_resample;

bool RecordResample(const ImageView& dst, const Rect& dst_area, const ConstImageView& src,
                    const Rect& src_area) {
  ++g_resample.calls;
  g_resample.dst = dst;
  g_resample.src = src;
  g_resample.dst_area = dst_area;
  g_resample.src_area = src_area;
  return true;
}

bool SameRect(const Rect& a, const Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

template <typename Byte>
void ExpectViews(const BasicImageView<Byte>& view, const CDibSurface& s) {
  EXPECT_EQ(view.pixels, s.pixels());
  EXPECT_EQ(view.width, s.width());
  EXPECT_EQ(view.height, s.height());
  EXPECT_EQ(view.stride, s.stride());
  EXPECT_EQ(view.bits_per_pixel, s.bits_per_pixel());
  EXPECT_EQ(view.rows, RowOrder::kBottomUp);
}

TEST(DibSurfaceTest, ViewsShowTheSurfaceBottomRowFirst) {
  CDibSurface surface;
  ASSERT_TRUE(surface.CreateInMemory(5, 4, 24));
  ExpectViews(surface.View(), surface);
  const CDibSurface& read_only = surface;
  ExpectViews(read_only.View(), surface);
  const CDibSurface empty;
  EXPECT_EQ(empty.View().pixels, nullptr);
  EXPECT_EQ(empty.View().width, 0);
}

TEST(DibSurfaceTest, ResampleFromHandsOverViewsAndAreas) {
  CDibSurface target;
  ASSERT_TRUE(target.Create(10, 6, 24));
  CDibSurface source;
  ASSERT_TRUE(source.CreateInMemory(7, 5, 16));

  g_resample = {};
  EXPECT_TRUE(target.ResampleFrom(RecordResample, &source, nullptr, nullptr));
  ExpectViews(g_resample.dst, target);
  ExpectViews(g_resample.src, source);
  EXPECT_TRUE(SameRect(g_resample.dst_area, Rect{0, 0, 10, 6}));
  EXPECT_TRUE(SameRect(g_resample.src_area, Rect{0, 0, 7, 5}));

  const Rect dst_rect{1, 2, 9, 6};
  const Rect src_rect{2, 1, 7, 4};
  EXPECT_TRUE(target.ResampleFrom(RecordResample, &source, &dst_rect, &src_rect));
  EXPECT_TRUE(SameRect(g_resample.dst_area, dst_rect));
  EXPECT_TRUE(SameRect(g_resample.src_area, src_rect));

  // Refused without calling: no function, no source, empty side, outside rects.
  g_resample = {};
  const CDibSurface empty;
  const Rect too_wide{0, 0, 11, 6};
  const Rect inverted{5, 1, 2, 4};
  EXPECT_FALSE(target.ResampleFrom(nullptr, &source, nullptr, nullptr));
  EXPECT_FALSE(target.ResampleFrom(RecordResample, nullptr, nullptr, nullptr));
  EXPECT_FALSE(target.ResampleFrom(RecordResample, &empty, nullptr, nullptr));
  EXPECT_FALSE(target.ResampleFrom(RecordResample, &source, &too_wide, nullptr));
  EXPECT_FALSE(target.ResampleFrom(RecordResample, &source, nullptr, &inverted));
  EXPECT_EQ(g_resample.calls, 0);
}

}  // namespace
}  // namespace kt
