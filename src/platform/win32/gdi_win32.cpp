// The drawing primitives on GDI: the handles are HDC and HBITMAP values.

#include <windows.h>

#include <cstddef>
#include <cstring>

#include "platform/gdi.h"

namespace kt::platform {
namespace {

static_assert(sizeof(BitmapInfoHeader) == sizeof(BITMAPINFOHEADER));
static_assert(offsetof(BitmapInfoHeader, bit_count) == offsetof(BITMAPINFOHEADER, biBitCount));
static_assert(offsetof(BitmapInfoHeader, clr_important) ==
              offsetof(BITMAPINFOHEADER, biClrImportant));
static_assert(sizeof(RgbQuad) == sizeof(RGBQUAD));
static_assert(offsetof(RgbQuad, red) == offsetof(RGBQUAD, rgbRed));

HDC ToHdc(DeviceContext dc) { return reinterpret_cast<HDC>(dc); }
HGDIOBJ ToObject(Bitmap bitmap) { return reinterpret_cast<HGDIOBJ>(bitmap); }
Bitmap ToBitmap(HGDIOBJ object) { return reinterpret_cast<Bitmap>(object); }

// A header followed by room for a full colour table: GDI reads the table of an
// 8-bit (or smaller) DIB from behind the header, so it must be there.
struct BitmapInfoWithTable {
  BITMAPINFOHEADER header;
  RGBQUAD colors[kColorTableEntries];
};

}  // namespace

Bitmap CreateDibSection(const BitmapInfoHeader& header, void** pixels) {
  if (!pixels) return nullptr;
  *pixels = nullptr;
  BitmapInfoWithTable info{};
  std::memcpy(&info.header, &header, sizeof(info.header));
  void* bits = nullptr;
  HBITMAP section = ::CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info),
                                       DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!section || !bits) {
    if (section) ::DeleteObject(section);
    return nullptr;
  }
  *pixels = bits;
  return ToBitmap(section);
}

DeviceContext CreateMemoryDc() {
  return reinterpret_cast<DeviceContext>(::CreateCompatibleDC(nullptr));
}

Bitmap SelectBitmap(DeviceContext dc, Bitmap bitmap) {
  if (!dc || !bitmap) return nullptr;
  HGDIOBJ previous = ::SelectObject(ToHdc(dc), ToObject(bitmap));
  if (previous == HGDI_ERROR) return nullptr;
  return ToBitmap(previous);
}

bool DeleteBitmap(Bitmap bitmap) { return bitmap && ::DeleteObject(ToObject(bitmap)) != 0; }

bool DeleteDc(DeviceContext dc) { return dc && ::DeleteDC(ToHdc(dc)) != 0; }

int GetColorTable(DeviceContext dc, int start, int count, RgbQuad* entries) {
  if (!dc || !entries || start < 0 || count <= 0) return 0;
  return static_cast<int>(::GetDIBColorTable(ToHdc(dc), static_cast<UINT>(start),
                                             static_cast<UINT>(count),
                                             reinterpret_cast<RGBQUAD*>(entries)));
}

int SetColorTable(DeviceContext dc, int start, int count, const RgbQuad* entries) {
  if (!dc || !entries || start < 0 || count <= 0) return 0;
  return static_cast<int>(::SetDIBColorTable(ToHdc(dc), static_cast<UINT>(start),
                                             static_cast<UINT>(count),
                                             reinterpret_cast<const RGBQUAD*>(entries)));
}

bool BlitCopy(DeviceContext dst, int dst_x, int dst_y, int width, int height, DeviceContext src,
              int src_x, int src_y) {
  if (!dst || !src) return false;
  return ::BitBlt(ToHdc(dst), dst_x, dst_y, width, height, ToHdc(src), src_x, src_y, SRCCOPY) != 0;
}

bool StretchBlitCopy(DeviceContext dst, int dst_x, int dst_y, int dst_width, int dst_height,
                     DeviceContext src, int src_x, int src_y, int src_width, int src_height) {
  if (!dst || !src) return false;
  // Shrinking would otherwise blend rows by the DC's default AND rule; a plain
  // copy keeps whole pixels, like the emulation's nearest sampling.
  ::SetStretchBltMode(ToHdc(dst), COLORONCOLOR);
  return ::StretchBlt(ToHdc(dst), dst_x, dst_y, dst_width, dst_height, ToHdc(src), src_x, src_y,
                      src_width, src_height, SRCCOPY) != 0;
}

}  // namespace kt::platform
