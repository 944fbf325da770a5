#include "imaging/dib_surface.h"

#include <cstdlib>
#include <cstring>

namespace kt {
namespace {

// Largest pixel memory a surface takes. Far above any image the library makes
// (a sensor frame is a few hundred kilobytes) and well inside int32 offsets.
constexpr int64_t kMaxPixelBytes = int64_t{1} << 30;

platform::BitmapInfoHeader EmptyHeader() {
  platform::BitmapInfoHeader header{};
  header.size = platform::kBitmapInfoHeaderSize;
  return header;
}

void FillGreyRamp(platform::RgbQuad* colors) {
  for (int i = 0; i < platform::kColorTableEntries; ++i) {
    const auto level = static_cast<uint8_t>(i);
    colors[i] = platform::RgbQuad{level, level, level, 0};
  }
}

Rect WholeOf(const CDibSurface& surface) { return Rect{0, 0, surface.width(), surface.height()}; }

bool LiesWithin(const Rect& rect, const CDibSurface& surface) {
  return rect.left >= 0 && rect.top >= 0 && rect.left < rect.right && rect.top < rect.bottom &&
         rect.right <= surface.width() && rect.bottom <= surface.height();
}

}  // namespace

CDibSurface::CDibSurface() : info_header_(EmptyHeader()) {}

CDibSurface::CDibSurface(const CDibSurface& other) : CDibSurface() { Assign(other); }

CDibSurface& CDibSurface::operator=(const CDibSurface& other) {
  // Assign releases this surface's memory before copying: never onto itself.
  if (this != &other) Assign(other);
  return *this;
}

CDibSurface::~CDibSurface() { Release(); }

bool CDibSurface::CheckFormat(int width, int height, int bits_per_pixel, uint16_t* depth,
                              int32_t* stride) {
  const auto bits = static_cast<uint16_t>(bits_per_pixel & 0xFFFF);
  // Depths below 8 bits would give rows of zero bytes under the byte-based
  // stride, so they are refused with the other unusable formats.
  if (width <= 0 || height <= 0 || bits < 8) return false;
  const int64_t row = (int64_t{width} * (bits / 8) + 3) / 4 * 4;
  // The row alone may already be too long; the product is safe only after.
  if (row > kMaxPixelBytes || row * height > kMaxPixelBytes) return false;
  *depth = bits;
  *stride = static_cast<int32_t>(row);
  return true;
}

void CDibSurface::SetFormat(int32_t width, int32_t height, int32_t stride, uint16_t depth) {
  Release();
  info_header_.planes = 1;
  info_header_.width = width;
  info_header_.height = height;
  info_header_.bit_count = depth;
  info_header_.compression = platform::kCompressionNone;
  width_ = width;
  height_ = height;
  stride_ = stride;
  bits_per_pixel_ = depth;
}

bool CDibSurface::Create(int width, int height, int bits_per_pixel) {
  uint16_t depth = 0;
  int32_t stride = 0;
  if (!CheckFormat(width, height, bits_per_pixel, &depth, &stride)) return false;
  SetFormat(width, height, stride, depth);
  return MakeSection(nullptr);
}

bool CDibSurface::CreateInMemory(int width, int height, int bits_per_pixel) {
  uint16_t depth = 0;
  int32_t stride = 0;
  if (!CheckFormat(width, height, bits_per_pixel, &depth, &stride)) return false;
  SetFormat(width, height, stride, depth);
  if (!AllocateInMemory()) {
    Release();
    return false;
  }
  return true;
}

bool CDibSurface::CreateLike(const CDibSurface* other) {
  if (!other || other->width_ <= 0 || other->height_ <= 0 || other->bits_per_pixel_ == 0) {
    return false;
  }
  // Take everything needed from other before Release, which empties other too
  // when it is this surface.
  const platform::BitmapInfoHeader header = other->info_header_;
  const int32_t width = other->width_;
  const int32_t height = other->height_;
  const int32_t stride = other->stride_;
  const uint16_t depth = other->bits_per_pixel_;
  platform::RgbQuad colors[platform::kColorTableEntries];
  FillGreyRamp(colors);
  if (depth == 8 && other->device_context_) {
    platform::GetColorTable(other->device_context_, 0, platform::kColorTableEntries, colors);
  }

  Release();
  info_header_ = header;
  width_ = width;
  height_ = height;
  stride_ = stride;
  bits_per_pixel_ = depth;
  return MakeSection(colors);
}

bool CDibSurface::Assign(const CDibSurface& other) {
  if (&other == this) return !empty();
  if (!other.pixels_) return false;
  // Both ways give this surface other's header, size and stride, so the pixel
  // memory is copied byte for byte. Never through a blit: GDI reads a 16-bit
  // uncompressed DIB as 5-5-5 colour and owes nothing to its top bit, which
  // raw codes of 0x8000 and above use.
  if (other.device_context_) {
    if (!CreateLike(&other)) return false;
  } else if (!CreateInMemory(other.width_, other.height_, other.bits_per_pixel_)) {
    return false;
  }
  std::memcpy(pixels_, other.pixels_, byte_size());
  return true;
}

bool CDibSurface::BlitFrom(const CDibSurface* source, const Rect* rect, int x, int y) {
  if (!source || !device_context_ || !source->device_context_) return false;
  const Rect area = rect ? *rect : WholeOf(*source);
  // Extents in 64 bits: a hostile rectangle must not overflow the subtraction.
  const int64_t area_width = int64_t{area.right} - area.left;
  const int64_t area_height = int64_t{area.bottom} - area.top;
  if (area_width < 0 || area_height < 0 || area_width > INT32_MAX || area_height > INT32_MAX) {
    return false;
  }
  return platform::BlitCopy(device_context_, x, y, static_cast<int>(area_width),
                            static_cast<int>(area_height), source->device_context_, area.left,
                            area.top);
}

bool CDibSurface::ResampleFrom(ResampleFunction function, const CDibSurface* source,
                               const Rect* dst_rect, const Rect* src_rect) {
  if (!function || !source || !pixels_ || !source->pixels_) return false;
  const Rect dst_area = dst_rect ? *dst_rect : WholeOf(*this);
  const Rect src_area = src_rect ? *src_rect : WholeOf(*source);
  // Refused here as well as in the routines: no routine of any kind is handed
  // an area outside its surface.
  if (!LiesWithin(dst_area, *this) || !LiesWithin(src_area, *source)) return false;
  return function(View(), dst_area, source->View(), src_area);
}

ImageView CDibSurface::View() {
  return ImageView{pixels_, width_, height_, stride_, bits_per_pixel_, RowOrder::kBottomUp};
}

ConstImageView CDibSurface::View() const {
  return ConstImageView{pixels_, width_, height_, stride_, bits_per_pixel_, RowOrder::kBottomUp};
}

void CDibSurface::Release() {
  if (section_) {
    if (device_context_ && displaced_bitmap_) {
      platform::SelectBitmap(device_context_, displaced_bitmap_);
    }
    platform::DeleteBitmap(section_);
    section_ = nullptr;
    displaced_bitmap_ = nullptr;
    pixels_ = nullptr;
  }
  if (device_context_) {
    platform::DeleteDc(device_context_);
    device_context_ = nullptr;
  }
  if (pixels_) {
    std::free(pixels_);
    pixels_ = nullptr;
  }
  width_ = 0;
  height_ = 0;
  stride_ = 0;
  bits_per_pixel_ = 0;
  info_header_ = EmptyHeader();
}

bool CDibSurface::ReadColorTable(platform::RgbQuad out[platform::kColorTableEntries]) const {
  FillGreyRamp(out);
  if (bits_per_pixel_ != 8 || !device_context_) return false;
  return platform::GetColorTable(device_context_, 0, platform::kColorTableEntries, out) ==
         platform::kColorTableEntries;
}

size_t CDibSurface::byte_size() const {
  return static_cast<size_t>(height_) * static_cast<size_t>(stride_);
}

bool CDibSurface::MakeSection(const platform::RgbQuad* colors) {
  void* bits = nullptr;
  section_ = platform::CreateDibSection(info_header_, &bits);
  if (!section_) {
    if (!AllocateInMemory()) {
      Release();
      return false;
    }
    return true;
  }
  pixels_ = static_cast<uint8_t*>(bits);

  device_context_ = platform::CreateMemoryDc();
  if (!device_context_) {
    Release();
    return false;
  }
  displaced_bitmap_ = platform::SelectBitmap(device_context_, section_);
  if (!displaced_bitmap_) {
    Release();
    return false;
  }

  if (bits_per_pixel_ == 8) {
    platform::RgbQuad ramp[platform::kColorTableEntries];
    if (!colors) {
      FillGreyRamp(ramp);
      colors = ramp;
    }
    platform::SetColorTable(device_context_, 0, platform::kColorTableEntries, colors);
  }
  return true;
}

bool CDibSurface::AllocateInMemory() {
  pixels_ = static_cast<uint8_t*>(std::calloc(byte_size(), 1));
  return pixels_ != nullptr;
}

}  // namespace kt
