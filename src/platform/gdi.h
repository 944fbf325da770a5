// Drawing primitives under the bitmap surface: device-independent bitmap
// sections, memory device contexts, colour tables and bit-block transfers.
//
// On Windows these are the GDI calls themselves. Elsewhere they are emulated on
// plain memory: a section is zeroed heap memory in the bottom-up DIB layout, a
// device context describes the section selected into it, and the transfers copy
// pixels between two device contexts of the same pixel format using the GDI
// coordinate rules (logical coordinates are top-down; logical row y of a
// bottom-up bitmap of height h is stored row h - 1 - y).
//
// Every function accepts null or stale handles and answers with its failure
// result; none of them throws.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kt::platform {

// The 40-byte BITMAPINFOHEADER, field for field. Shared by the surface (which
// keeps one per bitmap and writes it unchanged into BMP files) and the drawing
// layer (which builds sections from it).
struct BitmapInfoHeader {
  uint32_t size;             // 40
  int32_t width;             // pixels per row
  int32_t height;            // positive: rows stored bottom-up
  uint16_t planes;           // 1
  uint16_t bit_count;        // bits per pixel
  uint32_t compression;      // 0: uncompressed (BI_RGB)
  uint32_t size_image;       // 0 for uncompressed bitmaps
  int32_t x_pels_per_meter;  // 0
  int32_t y_pels_per_meter;  // 0
  uint32_t clr_used;         // 0: the full table for the depth
  uint32_t clr_important;    // 0
};
static_assert(sizeof(BitmapInfoHeader) == 40, "BITMAPINFOHEADER is 40 bytes");
static_assert(offsetof(BitmapInfoHeader, planes) == 12);
static_assert(offsetof(BitmapInfoHeader, bit_count) == 14);
static_assert(offsetof(BitmapInfoHeader, clr_important) == 36);

inline constexpr uint32_t kBitmapInfoHeaderSize = 40;
inline constexpr uint32_t kCompressionNone = 0;

// One colour-table entry, laid out as RGBQUAD.
struct RgbQuad {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
  uint8_t reserved;
};
static_assert(sizeof(RgbQuad) == 4, "RGBQUAD is 4 bytes");

// Entries in the colour table of an 8-bit bitmap.
inline constexpr int kColorTableEntries = 256;

// Opaque handles. On Windows they carry HDC and HBITMAP/HGDIOBJ values; the
// emulation defines the objects behind them.
struct DeviceContextObject;
struct BitmapObject;
using DeviceContext = DeviceContextObject*;
using Bitmap = BitmapObject*;

// Creates a DIB section described by `header` (RGB colour usage, no file
// mapping, colour table initially zero) and stores the address of its pixel
// memory in `*pixels`. Returns null, with `*pixels` null, on failure. The
// emulation takes 8, 16, 24 and 32 bits per pixel, uncompressed, one plane,
// nonzero height (negative: top-down) and at most 1 GiB of pixels.
Bitmap CreateDibSection(const BitmapInfoHeader& header, void** pixels);

// Creates a memory device context compatible with the screen. It starts with
// a stock placeholder bitmap selected, which SelectBitmap hands back when a
// section displaces it. Null on failure.
DeviceContext CreateMemoryDc();

// Selects `bitmap` into `dc` and returns the bitmap it displaced, or null on
// failure (a bitmap is selected into at most one device context at a time).
Bitmap SelectBitmap(DeviceContext dc, Bitmap bitmap);

// Deletes a bitmap. Fails while it is still selected into a device context.
bool DeleteBitmap(Bitmap bitmap);

// Deletes a memory device context; a bitmap selected into it stays alive.
bool DeleteDc(DeviceContext dc);

// Reads or writes `count` colour-table entries of the bitmap selected into
// `dc`, starting at entry `start`. Return the number of entries transferred:
// 0 for bitmaps deeper than 8 bits, which have no table.
int GetColorTable(DeviceContext dc, int start, int count, RgbQuad* entries);
int SetColorTable(DeviceContext dc, int start, int count, const RgbQuad* entries);

// Plain copy (SRCCOPY) of a `width` x `height` area from `src` at (src_x,
// src_y) into `dst` at (dst_x, dst_y), in logical (top-down) coordinates. The
// area is clipped to both bitmaps; a clipped-away or empty area succeeds
// without drawing. The emulation copies only between device contexts of the
// same pixel format and fails for other pairs.
bool BlitCopy(DeviceContext dst, int dst_x, int dst_y, int width, int height, DeviceContext src,
              int src_x, int src_y);

// Plain copy with scaling: the source area (src_x, src_y, src_width,
// src_height) is stretched onto the destination area, clipped to both bitmaps.
// A negative extent on one side mirrors that axis. As in GDI, an area with a
// negative extent includes its origin: origin y with height -h covers rows
// y - h + 1 to y, so a whole-height mirror of h rows starts at y = h - 1 (from
// y = h the area sticks out by one row, which is clipped away). Empty areas
// draw nothing and succeed. The emulation samples the nearest pixel (pixel
// centres) and needs the same pixel format on both sides.
bool StretchBlitCopy(DeviceContext dst, int dst_x, int dst_y, int dst_width, int dst_height,
                     DeviceContext src, int src_x, int src_y, int src_width, int src_height);

}  // namespace kt::platform
