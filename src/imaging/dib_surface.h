// CDibSurface: the library's image container. An uncompressed bottom-up
// device-independent bitmap whose pixel memory the library reads and writes
// directly; when the system allows it the memory belongs to a DIB section
// selected into a memory device context, so it can also be blitted.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/image_view.h"
#include "platform/gdi.h"

namespace kt {

// A resampling routine: fills `dst_area` of `dst` from `src_area` of `src`.
// True when it wrote the area, false when it refused without writing.
using ResampleFunction = bool (*)(const ImageView& dst, const Rect& dst_area,
                                  const ConstImageView& src, const Rect& src_area);

// Pixel memory layout: height rows of stride() bytes, stored row 0 first, and
// stored row 0 is the bottom row of the picture. Multi-byte pixels are
// little-endian; 24-bit pixels are blue, green, red. An 8-bit surface with a
// section has a 256-entry colour table.
//
// A surface may be "in memory": it has pixel memory of its own but no section
// and no device context, because the section could not be made. Its pixels
// can be written, converted, saved and copied with Assign, but not blitted.
//
// A surface has no lock: its owner decides which thread touches it when.
class CDibSurface {
 public:
  CDibSurface();
  // An empty surface, then Assign(other).
  CDibSurface(const CDibSurface& other);
  // Assign(other). The result is lost here: a failed copy leaves this surface
  // empty (or unchanged when other is empty); call Assign to see it.
  CDibSurface& operator=(const CDibSurface& other);
  ~CDibSurface();

  // A section surface of that format with zero pixels; an 8-bit one gets the
  // grey ramp colour table. Falls back to an in-memory surface when the
  // section cannot be made. False, changing nothing, for a width or height of
  // 0 or less, a depth below 8 bits (taken from the low 16 bits), or pixel
  // memory above 1 GiB; false with an empty surface when the memory cannot be
  // had.
  bool Create(int width, int height, int bits_per_pixel);
  // An in-memory surface of that format with zero pixels; same checks.
  bool CreateInMemory(int width, int height, int bits_per_pixel);
  // A section surface with other's header, size, stride and depth, and other's
  // colour table for 8 bits (the grey ramp when other has no section). Pixels
  // are zero, not copied. False, changing nothing, when other is missing or
  // empty.
  bool CreateLike(const CDibSurface* other);
  // Makes this surface a copy of other, pixels included: a section surface
  // (CreateLike) when other has a device context, an in-memory surface
  // otherwise, its pixel memory a plain copy of other's, every bit kept.
  // False, changing nothing, when other is empty; false with this surface
  // empty when the memory cannot be had. Assigning a surface to itself changes
  // nothing and returns whether it has pixels.
  bool Assign(const CDibSurface& other);
  // Copies `rect` of the source (the whole source when null) to (x, y) of this
  // surface through the device contexts, in the top-down coordinates of GDI.
  // False when either surface has no device context or the blit fails.
  bool BlitFrom(const CDibSurface* source, const Rect* rect, int x, int y);
  // Calls `function` with views of this surface and of the source; null
  // rectangles stand for whole surfaces. Returns the function's result, or
  // false without calling it when there is no function or source, when either
  // surface has no pixel memory, or when a rectangle does not lie within its
  // surface.
  bool ResampleFrom(ResampleFunction function, const CDibSurface* source, const Rect* dst_rect,
                    const Rect* src_rect);
  // Frees everything and empties the surface. Safe to repeat.
  void Release();

  // The pixel memory as a view: the surface's geometry, bottom row first. An
  // empty surface gives a view without pixels, which no converter accepts.
  ImageView View();
  ConstImageView View() const;

  // Copies the 256-entry colour table into `out`: from the section when the
  // surface has one and is 8 bits deep; otherwise `out` gets the grey ramp, the
  // table every 8-bit surface starts with. Returns whether the section was read.
  bool ReadColorTable(platform::RgbQuad out[platform::kColorTableEntries]) const;

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t stride() const { return stride_; }
  uint16_t bits_per_pixel() const { return bits_per_pixel_; }
  uint8_t* pixels() { return pixels_; }
  const uint8_t* pixels() const { return pixels_; }
  // height x stride, the bytes of pixel memory; 0 for an empty surface.
  size_t byte_size() const;
  platform::DeviceContext device_context() const { return device_context_; }
  const platform::BitmapInfoHeader& info_header() const { return info_header_; }
  bool has_section() const { return section_ != nullptr; }
  bool is_in_memory() const { return pixels_ != nullptr && section_ == nullptr; }
  bool empty() const { return pixels_ == nullptr; }

 private:
  // Checks a requested format and computes its stride. False for a format that
  // Create must refuse.
  static bool CheckFormat(int width, int height, int bits_per_pixel, uint16_t* depth,
                          int32_t* stride);
  // Release, then fill the header and geometry fields for a checked format.
  void SetFormat(int32_t width, int32_t height, int32_t stride, uint16_t depth);
  // Makes the DIB section for the current header and selects it into a new
  // memory device context. For 8 bits it writes `colors`, or the grey ramp
  // when null. Falls back to in-memory pixels when no section can be made.
  bool MakeSection(const platform::RgbQuad* colors);
  // Allocates zeroed pixel memory of the surface's own; false when it fails.
  bool AllocateInMemory();

  platform::BitmapInfoHeader info_header_;
  platform::DeviceContext device_context_ = nullptr;  // holds the section; null otherwise
  platform::Bitmap section_ = nullptr;                // null for in-memory or empty surfaces
  uint8_t* pixels_ = nullptr;  // the section's memory, or our own when section_ is null
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t stride_ = 0;
  uint16_t bits_per_pixel_ = 0;
  platform::Bitmap displaced_bitmap_ = nullptr;  // put back into device_context_ on release
};

}  // namespace kt
