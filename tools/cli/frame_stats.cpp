#include "frame_stats.h"

#include <algorithm>
#include <cstddef>

namespace kt::cli {
namespace {

constexpr float kNoTemperature = -999.0f;

bool HasTemperature(float value) { return value != kNoTemperature; }

// Index of picture pixel (x, y) in a buffer whose rows run bottom first.
size_t IndexOf(int x, int y, int width, int height) {
  return static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) + static_cast<size_t>(x);
}

bool SizeMatches(std::span<const float> temperatures, int width, int height) {
  return width > 0 && height > 0 &&
         temperatures.size() == static_cast<size_t>(width) * static_cast<size_t>(height);
}

}  // namespace

std::optional<FrameStats> ComputeFrameStats(std::span<const float> temperatures, int width,
                                            int height) {
  if (!SizeMatches(temperatures, width, height)) return std::nullopt;
  bool any = false;
  FrameStats stats;
  for (const float value : temperatures) {
    if (!HasTemperature(value)) continue;
    if (!any || value < stats.min) stats.min = value;
    if (!any || value > stats.max) stats.max = value;
    any = true;
  }
  if (!any) return std::nullopt;
  stats.centre = temperatures[IndexOf(width / 2, height / 2, width, height)];
  return stats;
}

std::optional<float> RegionMean(std::span<const float> temperatures, int width, int height,
                                const PictureRegion& region) {
  if (!SizeMatches(temperatures, width, height)) return std::nullopt;
  const int left = std::max(region.left, 0);
  const int top = std::max(region.top, 0);
  const int right = std::min(region.right, width);
  const int bottom = std::min(region.bottom, height);
  double sum = 0.0;
  long count = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      const float value = temperatures[IndexOf(x, y, width, height)];
      if (!HasTemperature(value)) continue;
      sum += value;
      ++count;
    }
  }
  if (count == 0) return std::nullopt;
  return static_cast<float>(sum / static_cast<double>(count));
}

}  // namespace kt::cli
