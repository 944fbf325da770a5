#include "measure_region.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace kt::thermography {
namespace {

bool InFrame(std::int64_t x, std::int64_t y, int width, int height) {
  return x >= 0 && y >= 0 && x < width && y < height;
}

// The largest k with k * k <= n, for n >= 0.
std::int64_t IntegerSqrt(std::int64_t n) {
  auto k = static_cast<std::int64_t>(std::sqrt(static_cast<double>(n)));
  while (k > 0 && k * k > n) --k;
  while ((k + 1) * (k + 1) <= n) ++k;
  return k;
}

// A disc of radius r around (cx, cy): in row cy + dy the pixels within
// sqrt(r^2 - dy^2) of cx.
void SpotRuns(int cx, int cy, int r, std::vector<Run>& runs) {
  const std::int64_t r2 = static_cast<std::int64_t>(r) * r;
  for (int dy = -r; dy <= r; ++dy) {
    const auto half = static_cast<int>(IntegerSqrt(r2 - static_cast<std::int64_t>(dy) * dy));
    runs.push_back({cx - half, cy + dy, 2 * half + 1});
  }
}

// The pixels whose centres lie inside the ellipse inscribed in the box. In
// doubled coordinates relative to the centre (integers), a pixel's centre is
// (dx, dy) = (2 (px - x) + 1 - w, 2 (py - y) + 1 - h) and inside when
// dx^2 h^2 + dy^2 w^2 <= w^2 h^2. With w h below 2^31 (a frame has at most
// INT_MAX pixels) every term fits 64 bits.
void EllipseRuns(int x, int y, int w, int h, std::vector<Run>& runs) {
  const std::int64_t w2 = static_cast<std::int64_t>(w) * w;
  const std::int64_t h2 = static_cast<std::int64_t>(h) * h;
  for (int row = 0; row < h; ++row) {
    const std::int64_t dy = 2 * static_cast<std::int64_t>(row) + 1 - h;
    // The largest |dx| allowed: k with k^2 h^2 <= w^2 (h^2 - dy^2).
    const std::int64_t k = IntegerSqrt(w2 * (h2 - dy * dy) / h2);
    // 2 col + 1 - w in [-k, k], col from ceil((w - 1 - k) / 2) to
    // floor((w - 1 + k) / 2); w - 1 - k may be negative only when k = w.
    const std::int64_t low = w - 1 - k, high = w - 1 + k;
    const std::int64_t first = low >= 0 ? (low + 1) / 2 : 0;
    const std::int64_t last = high / 2;
    if (first > last) continue;
    runs.push_back({x + static_cast<int>(first), y + row, static_cast<int>(last - first + 1)});
  }
}

}  // namespace

std::vector<Run> LinePoints(int x0, int y0, int x1, int y1) {
  // 64-bit: the differences of two coordinates of a very wide frame, and
  // twice the error term, need more than an int.
  const std::int64_t dx = std::abs(static_cast<std::int64_t>(x1) - x0);
  const std::int64_t dy = -std::abs(static_cast<std::int64_t>(y1) - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  std::vector<Run> points;
  points.reserve(static_cast<std::size_t>(std::max(dx, -dy)) + 1);
  // err = (distance from the ideal line of the point diagonally ahead) times
  // the line's length, in integers: each axis steps when that brings the
  // next point nearer to the line.
  std::int64_t err = dx + dy;
  for (;;) {
    points.push_back({x0, y0, 1});
    if (x0 == x1 && y0 == y1) break;
    const std::int64_t twice = 2 * err;
    if (twice >= dy) {
      err += dy;
      x0 += sx;
    }
    if (twice <= dx) {
      err += dx;
      y0 += sy;
    }
  }
  return points;
}

int RegionRuns(const KolThermoRegion& region, int width, int height, std::vector<Run>& runs) {
  runs.clear();
  const std::int64_t x = region.x, y = region.y;
  switch (region.kind) {
    case KOLTHERMO_REGION_SPOT: {
      const std::int64_t r = region.radius;
      if (r < 0 || !InFrame(x - r, y - r, width, height) || !InFrame(x + r, y + r, width, height)) {
        return KOLTHERMO_THERMO_OUTSIDE_FRAME;
      }
      SpotRuns(region.x, region.y, region.radius, runs);
      return KOLTHERMO_THERMO_OK;
    }
    case KOLTHERMO_REGION_BOX:
    case KOLTHERMO_REGION_ELLIPSE: {
      const std::int64_t w = region.width, h = region.height;
      if (w < 1 || h < 1 || !InFrame(x, y, width, height) ||
          !InFrame(x + w - 1, y + h - 1, width, height)) {
        return KOLTHERMO_THERMO_OUTSIDE_FRAME;
      }
      if (region.kind == KOLTHERMO_REGION_ELLIPSE) {
        EllipseRuns(region.x, region.y, region.width, region.height, runs);
      } else {
        if (region.width == width) {
          // Whole rows lie one after another in the frame: one long run.
          runs.push_back({0, region.y, region.width * region.height});
        } else {
          for (int row = 0; row < region.height; ++row) {
            runs.push_back({region.x, region.y + row, region.width});
          }
        }
      }
      return KOLTHERMO_THERMO_OK;
    }
    case KOLTHERMO_REGION_LINE:
      if (!InFrame(x, y, width, height) || !InFrame(region.end_x, region.end_y, width, height)) {
        return KOLTHERMO_THERMO_OUTSIDE_FRAME;
      }
      runs = LinePoints(region.x, region.y, region.end_x, region.end_y);
      return KOLTHERMO_THERMO_OK;
    default:
      return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
}

}  // namespace kt::thermography
