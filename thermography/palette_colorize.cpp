// The range ends map exactly to the palette's ends: a temperature's index is
// trunc((t - low) * 256 / (high - low)), clamped to 0..255, so `low` gets 0
// and `high` (256 before the clamp, or a rounding hair below it) gets 255,
// and the 256 indices cover equal parts of the range. Histogram equalisation
// first sorts the range into bins the same way, then gives each bin the
// palette index of its share of the cumulative count, from 0 for the
// minimum's bin to 255 for the maximum's. A frame whose temperatures are all
// equal has no range to spread: it is drawn in the palette's middle colour.
#include "palette_colorize.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "kolthermo/kolthermo_thermography.h"
#include "palette_kernels.h"

namespace kt::thermography {
namespace {

// Pixels go through the code and paint loops in blocks that keep their codes
// in the first-level cache and on the stack.
constexpr size_t kBlock = 2048;
constexpr int kMiddleIndex = kPaletteEntries / 2 - 1;

uint32_t Packed(Rgb c) {
  return static_cast<uint32_t>(c.r) | (static_cast<uint32_t>(c.g) << 8) |
         (static_cast<uint32_t>(c.b) << 16);
}

// `levels` codes for the temperatures, then the isotherm colour and black.
struct CodeTable {
  uint32_t* colours;
  int levels;
};

CodeRule RuleFor(const ColorizeSettings& settings, float low, float scale, float bias, int levels) {
  CodeRule rule{};
  rule.low = low;
  rule.scale = scale;
  rule.bias = bias;
  rule.top_code = static_cast<float>(levels - 1);
  rule.isotherm_code = static_cast<uint16_t>(levels);
  rule.no_temperature_code = static_cast<uint16_t>(levels + 1);
  if (settings.isotherm) {
    rule.iso_low = settings.iso_low_c;
    rule.iso_high = settings.iso_high_c;
  } else {
    rule.iso_low = std::numeric_limits<float>::infinity();
    rule.iso_high = -std::numeric_limits<float>::infinity();
  }
  return rule;
}

void FinishTable(CodeTable& table, const ColorizeSettings& settings) {
  table.colours[table.levels] = Packed(settings.iso_rgb);
  table.colours[table.levels + 1] = 0;  // black: no temperature
}

void CodeAndPaint(const float* temperatures, size_t count, const CodeRule& rule,
                  const CodeTable& table, uint8_t* rgb) {
  uint16_t codes[kBlock];
  for (size_t start = 0; start < count; start += kBlock) {
    const size_t n = std::min(kBlock, count - start);
    CodePixels(temperatures + start, n, rule, codes);
    PaintPixels(codes, n, table.colours, rgb + 3 * start);
  }
}

// Counts the pixels of each bin into `table`, then replaces each count by the
// colour of the bin: the palette index of the share of pixels at or below it
// beyond those in the lowest occupied bin.
void EqualisedTable(const float* temperatures, size_t count, const CodeRule& bin_rule,
                    const ColorizeSettings& settings, CodeTable& table) {
  uint32_t* histogram = table.colours;
  std::fill(histogram, histogram + kHistogramBins + 2, 0u);
  uint16_t codes[kBlock];
  CodeRule count_rule = bin_rule;
  // The isotherm does not change a pixel's bin.
  count_rule.iso_low = std::numeric_limits<float>::infinity();
  count_rule.iso_high = -std::numeric_limits<float>::infinity();
  for (size_t start = 0; start < count; start += kBlock) {
    const size_t n = std::min(kBlock, count - start);
    CodePixels(temperatures + start, n, count_rule, codes);
    CountCodes(codes, n, histogram);
  }
  uint64_t total = 0;
  uint64_t first = 0;  // pixels in the lowest occupied bin
  for (size_t b = 0; b < kHistogramBins; ++b) {
    total += histogram[b];
    if (first == 0) first = total;
  }
  // The minimum and the maximum lie in different bins, so total > first.
  const double per_pixel =
      total > first ? (kPaletteEntries - 1) / static_cast<double>(total - first) : 0.0;
  uint32_t colours[kPaletteEntries];
  for (int i = 0; i < kPaletteEntries; ++i) colours[i] = Packed((*settings.palette)[i]);
  // No pixel has the code of an empty bin, so those entries stay as they are.
  uint64_t below = 0;
  for (size_t b = 0; b < kHistogramBins; ++b) {
    if (histogram[b] == 0) continue;
    below += histogram[b];
    const long share = std::lround(static_cast<double>(below - first) * per_pixel);
    table.colours[b] = colours[std::min<long>(share, kPaletteEntries - 1)];
  }
}

}  // namespace

bool Colorize(const float* temperatures, size_t count, const ColorizeSettings& settings,
              uint8_t* rgb, float& used_low, float& used_high) {
  float low = 0.0f;
  float high = 0.0f;
  const bool any = TemperatureExtremes(temperatures, count, low, high);
  if (!any) {
    std::fill(rgb, rgb + 3 * count, uint8_t{0});
    used_low = used_high = KOLTHERMO_THERMO_NO_TEMPERATURE;
    return false;
  }
  if (settings.range == RangeMode::kManual) {
    low = settings.low_c;
    high = settings.high_c;
  }
  used_low = low;
  used_high = high;

  // 64 KiB: the histogram, then the colour of each bin. No heap, so nothing
  // can fail once the arguments are good.
  uint32_t colours[kHistogramBins + 2];
  CodeTable table{colours, 0};
  const double span = static_cast<double>(high) - static_cast<double>(low);
  const bool histogram = settings.range == RangeMode::kHistogram;
  table.levels = histogram ? kHistogramBins : kPaletteEntries;
  const double scale = table.levels / span;
  CodeRule rule{};
  if (!(span > 0.0) || !std::isfinite(scale) || static_cast<float>(scale) == 0.0f) {
    // No range to spread: every pixel in the middle colour.
    table.levels = kPaletteEntries;
    rule = RuleFor(settings, low, 0.0f, static_cast<float>(kMiddleIndex), table.levels);
  } else {
    rule = RuleFor(settings, low, static_cast<float>(scale), 0.0f, table.levels);
  }
  if (histogram && rule.scale != 0.0f) {
    EqualisedTable(temperatures, count, rule, settings, table);
  } else {
    for (int i = 0; i < kPaletteEntries; ++i) table.colours[i] = Packed((*settings.palette)[i]);
  }
  FinishTable(table, settings);
  CodeAndPaint(temperatures, count, rule, table, rgb);
  return true;
}

}  // namespace kt::thermography
