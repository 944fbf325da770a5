// The drawing primitives without GDI. Sections are zeroed heap memory in the
// DIB layout; a memory device context records which section is selected into
// it. Handles are pointers to these objects, and every call first checks that
// the handle is live, so stale or foreign handles fail as they do under GDI.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_set>
#include <vector>

#include "platform/gdi.h"
#include "platform/mutex.h"

namespace kt::platform {

struct BitmapObject {
  uint8_t* pixels = nullptr;  // owned (calloc); null for the stock placeholder
  int32_t width = 0;
  int32_t height = 0;  // always positive; top_down records the row order
  bool top_down = false;
  int32_t stride = 0;
  int bytes_per_pixel = 0;
  int color_entries = 0;  // 256 for 8-bit sections, 0 otherwise
  RgbQuad colors[kColorTableEntries] = {};
  DeviceContextObject* selected_into = nullptr;  // the DC holding it, if any
  bool stock = false;
};

struct DeviceContextObject {
  BitmapObject* selected = nullptr;  // never null while the DC lives
};

namespace {

constexpr int64_t kMaxSectionBytes = int64_t{1} << 30;

// One lock for the whole emulation: it guards the live-handle sets and every
// object they reach, including pixel memory while a transfer copies it.
Mutex g_mutex;
std::unordered_set<const BitmapObject*> g_bitmaps GUARDED_BY(g_mutex);
std::unordered_set<const DeviceContextObject*> g_dcs GUARDED_BY(g_mutex);

// Stands for the 1x1 placeholder that a new memory DC holds; never deleted.
BitmapObject g_stock_bitmap = [] {
  BitmapObject stock;
  stock.stock = true;
  return stock;
}();

bool IsLive(const BitmapObject* bitmap) REQUIRES(g_mutex) {
  return bitmap == &g_stock_bitmap || (bitmap && g_bitmaps.count(bitmap) != 0);
}

bool IsLive(const DeviceContextObject* dc) REQUIRES(g_mutex) { return dc && g_dcs.count(dc) != 0; }

// The section selected into a live DC, or null when it holds the placeholder.
BitmapObject* SectionOf(DeviceContextObject* dc) REQUIRES(g_mutex) {
  if (!IsLive(dc) || dc->selected == nullptr || dc->selected->stock) return nullptr;
  return dc->selected;
}

// Address of logical pixel (x, y), both inside the bitmap.
uint8_t* PixelAt(const BitmapObject& bitmap, int64_t x, int64_t y) {
  const int64_t stored_row = bitmap.top_down ? y : bitmap.height - 1 - y;
  return bitmap.pixels + stored_row * bitmap.stride + x * bitmap.bytes_per_pixel;
}

// Source pixels copied aside when a transfer reads and writes the same bitmap.
struct SourceView {
  BitmapObject bitmap;
  std::vector<uint8_t> copy;
};

// Returns the bitmap to read from: `src` itself, or a private copy of it when
// it is also the destination, so that overlapping areas copy like memmove.
const BitmapObject* StableSource(const BitmapObject* src, const BitmapObject* dst,
                                 SourceView& view) {
  if (src != dst) return src;
  const size_t bytes = static_cast<size_t>(src->stride) * static_cast<size_t>(src->height);
  view.copy.assign(src->pixels, src->pixels + bytes);
  view.bitmap.pixels = view.copy.data();
  view.bitmap.width = src->width;
  view.bitmap.height = src->height;
  view.bitmap.top_down = src->top_down;
  view.bitmap.stride = src->stride;
  view.bitmap.bytes_per_pixel = src->bytes_per_pixel;
  return &view.bitmap;
}

// Turns a negative extent into a positive one. As in GDI, an area with a
// negative extent includes its origin: origin x and width -w cover columns
// x - w + 1 to x. Returns whether the axis was reversed.
bool Normalize(int64_t& origin, int64_t& extent) {
  if (extent >= 0) return false;
  origin += extent + 1;
  extent = -extent;
  return true;
}

}  // namespace

Bitmap CreateDibSection(const BitmapInfoHeader& header, void** pixels) {
  if (pixels) *pixels = nullptr;
  if (!pixels || header.size < kBitmapInfoHeaderSize || header.planes != 1 ||
      header.compression != kCompressionNone || header.width <= 0 || header.height == 0) {
    return nullptr;
  }
  const int bits = header.bit_count;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return nullptr;
  const int64_t height = header.height < 0 ? -int64_t{header.height} : int64_t{header.height};
  const int64_t stride = (int64_t{header.width} * bits + 31) / 32 * 4;
  if (stride > kMaxSectionBytes || stride * height > kMaxSectionBytes) return nullptr;

  auto* bitmap = new (std::nothrow) BitmapObject;
  if (!bitmap) return nullptr;
  bitmap->pixels = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(stride * height), 1));
  if (!bitmap->pixels) {
    delete bitmap;
    return nullptr;
  }
  bitmap->width = header.width;
  bitmap->height = static_cast<int32_t>(height);
  bitmap->top_down = header.height < 0;
  bitmap->stride = static_cast<int32_t>(stride);
  bitmap->bytes_per_pixel = bits / 8;
  bitmap->color_entries = bits == 8 ? kColorTableEntries : 0;

  MutexLock lock(g_mutex);
  try {
    g_bitmaps.insert(bitmap);
  } catch (...) {
    std::free(bitmap->pixels);
    delete bitmap;
    return nullptr;
  }
  *pixels = bitmap->pixels;
  return bitmap;
}

DeviceContext CreateMemoryDc() {
  auto* dc = new (std::nothrow) DeviceContextObject;
  if (!dc) return nullptr;
  dc->selected = &g_stock_bitmap;
  MutexLock lock(g_mutex);
  try {
    g_dcs.insert(dc);
  } catch (...) {
    delete dc;
    return nullptr;
  }
  return dc;
}

Bitmap SelectBitmap(DeviceContext dc, Bitmap bitmap) {
  MutexLock lock(g_mutex);
  if (!IsLive(dc) || !IsLive(bitmap)) return nullptr;
  if (!bitmap->stock && bitmap->selected_into && bitmap->selected_into != dc) return nullptr;
  BitmapObject* previous = dc->selected;
  if (!previous->stock) previous->selected_into = nullptr;
  if (!bitmap->stock) bitmap->selected_into = dc;
  dc->selected = bitmap;
  return previous;
}

bool DeleteBitmap(Bitmap bitmap) {
  MutexLock lock(g_mutex);
  if (!IsLive(bitmap)) return false;
  if (bitmap->stock) return true;  // stock objects ignore deletion, as in GDI
  if (bitmap->selected_into) return false;
  g_bitmaps.erase(bitmap);
  std::free(bitmap->pixels);
  delete bitmap;
  return true;
}

bool DeleteDc(DeviceContext dc) {
  MutexLock lock(g_mutex);
  if (!IsLive(dc)) return false;
  if (!dc->selected->stock) dc->selected->selected_into = nullptr;
  g_dcs.erase(dc);
  delete dc;
  return true;
}

int GetColorTable(DeviceContext dc, int start, int count, RgbQuad* entries) {
  MutexLock lock(g_mutex);
  const BitmapObject* section = SectionOf(dc);
  if (!section || !entries || start < 0 || count <= 0 || start >= section->color_entries) {
    return 0;
  }
  const int n = std::min(count, section->color_entries - start);
  std::memcpy(entries, section->colors + start, static_cast<size_t>(n) * sizeof(RgbQuad));
  return n;
}

int SetColorTable(DeviceContext dc, int start, int count, const RgbQuad* entries) {
  MutexLock lock(g_mutex);
  BitmapObject* section = SectionOf(dc);
  if (!section || !entries || start < 0 || count <= 0 || start >= section->color_entries) {
    return 0;
  }
  const int n = std::min(count, section->color_entries - start);
  std::memcpy(section->colors + start, entries, static_cast<size_t>(n) * sizeof(RgbQuad));
  return n;
}

bool BlitCopy(DeviceContext dst, int dst_x, int dst_y, int width, int height, DeviceContext src,
              int src_x, int src_y) {
  MutexLock lock(g_mutex);
  const BitmapObject* to = SectionOf(dst);
  const BitmapObject* from = SectionOf(src);
  if (!to || !from || to->bytes_per_pixel != from->bytes_per_pixel) return false;

  // A negative extent names the same area on both sides, so nothing mirrors.
  int64_t dx = dst_x, dy = dst_y, sx = src_x, sy = src_y, w = width, h = height;
  if (w < 0) {
    int64_t ignored = w;
    Normalize(sx, ignored);
    Normalize(dx, w);
  }
  if (h < 0) {
    int64_t ignored = h;
    Normalize(sy, ignored);
    Normalize(dy, h);
  }
  // Clip the area to both bitmaps, moving both origins together.
  const auto clip_low = [](int64_t& a, int64_t& b, int64_t& extent) {
    const int64_t shift = std::max<int64_t>({0, -a, -b});
    a += shift;
    b += shift;
    extent -= shift;
  };
  clip_low(dx, sx, w);
  clip_low(dy, sy, h);
  w = std::min({w, to->width - dx, from->width - sx});
  h = std::min({h, to->height - dy, from->height - sy});
  if (w <= 0 || h <= 0) return true;  // nothing visible: done, as GDI reports it

  SourceView view;
  const BitmapObject* source;
  try {
    source = StableSource(from, to, view);
  } catch (...) {
    return false;
  }
  const size_t row_bytes = static_cast<size_t>(w * to->bytes_per_pixel);
  for (int64_t row = 0; row < h; ++row) {
    std::memcpy(PixelAt(*to, dx, dy + row), PixelAt(*source, sx, sy + row), row_bytes);
  }
  return true;
}

bool StretchBlitCopy(DeviceContext dst, int dst_x, int dst_y, int dst_width, int dst_height,
                     DeviceContext src, int src_x, int src_y, int src_width, int src_height) {
  MutexLock lock(g_mutex);
  const BitmapObject* to = SectionOf(dst);
  const BitmapObject* from = SectionOf(src);
  if (!to || !from || to->bytes_per_pixel != from->bytes_per_pixel) return false;
  // An empty area draws nothing, which GDI reports as done.
  if (dst_width == 0 || dst_height == 0 || src_width == 0 || src_height == 0) return true;

  int64_t dx = dst_x, dy = dst_y, dw = dst_width, dh = dst_height;
  int64_t sx = src_x, sy = src_y, sw = src_width, sh = src_height;
  const bool mirror_x = Normalize(dx, dw) != Normalize(sx, sw);
  const bool mirror_y = Normalize(dy, dh) != Normalize(sy, sh);

  // Nearest source pixel of each destination column and row inside the
  // destination bitmap (sampling at pixel centres); -1 where the source pixel
  // lies outside the source bitmap.
  const auto map_axis = [](int64_t d_origin, int64_t d_extent, int64_t d_limit, int64_t s_origin,
                           int64_t s_extent, int64_t s_limit, bool mirror) {
    std::vector<int64_t> map;
    const int64_t first = std::max<int64_t>(d_origin, 0);
    const int64_t last = std::min<int64_t>(d_origin + d_extent, d_limit);
    map.reserve(static_cast<size_t>(std::max<int64_t>(last - first, 0)));
    for (int64_t d = first; d < last; ++d) {
      // Equal extents map one to one: (2k + 1) x n / 2n is k, without the
      // wide division the general case needs.
      int64_t offset = d - d_origin;
      if (s_extent != d_extent) {
        // 128-bit: extreme but legal arguments take the product past 2^64.
        using Wide = unsigned __int128;
        const Wide twice_from_origin = 2 * static_cast<Wide>(offset) + 1;
        offset = static_cast<int64_t>(twice_from_origin * static_cast<Wide>(s_extent) /
                                      (2 * static_cast<Wide>(d_extent)));
      }
      if (mirror) offset = s_extent - 1 - offset;
      const int64_t s = s_origin + offset;
      map.push_back(s >= 0 && s < s_limit ? s : -1);
    }
    return std::make_pair(first, map);
  };
  std::pair<int64_t, std::vector<int64_t>> columns, rows;
  try {
    columns = map_axis(dx, dw, to->width, sx, sw, from->width, mirror_x);
    rows = map_axis(dy, dh, to->height, sy, sh, from->height, mirror_y);
  } catch (...) {
    return false;
  }

  SourceView view;
  const BitmapObject* source;
  try {
    source = StableSource(from, to, view);
  } catch (...) {
    return false;
  }
  const int bpp = to->bytes_per_pixel;
  // Same width and direction: every row is one contiguous copy of the run of
  // columns whose source lies inside the bitmap, the same run for every row.
  const bool straight_rows = !mirror_x && dw == sw;
  size_t begin = 0;
  size_t end = 0;
  if (straight_rows) {
    const auto& map = columns.second;
    while (begin < map.size() && map[begin] < 0) ++begin;
    end = begin;
    while (end < map.size() && map[end] >= 0) ++end;
  }
  for (size_t i = 0; i < rows.second.size(); ++i) {
    const int64_t s_row = rows.second[i];
    if (s_row < 0) continue;
    const int64_t d_row = rows.first + static_cast<int64_t>(i);
    if (straight_rows) {
      const auto& map = columns.second;
      if (begin < end) {
        std::memcpy(PixelAt(*to, columns.first + static_cast<int64_t>(begin), d_row),
                    PixelAt(*source, map[begin], s_row), (end - begin) * static_cast<size_t>(bpp));
      }
      continue;
    }
    for (size_t j = 0; j < columns.second.size(); ++j) {
      const int64_t s_col = columns.second[j];
      if (s_col < 0) continue;
      std::memcpy(PixelAt(*to, columns.first + static_cast<int64_t>(j), d_row),
                  PixelAt(*source, s_col, s_row), static_cast<size_t>(bpp));
    }
  }
  return true;
}

}  // namespace kt::platform
