// The exported C functions of palettes, false colour and the colour scale.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "kolthermo/kolthermo_palette.h"
#include "palette_colorize.h"
#include "palette_tables.h"
#include "scale_bar.h"
#include "scale_bar_labels.h"

namespace {

namespace kth = kt::thermography;

// Frames beyond this many pixels are refused, which keeps every byte count
// and histogram count within 32 bits.
constexpr int64_t kMaxFramePixels = int64_t{1} << 28;

bool ValidIsotherm(const KolThermoColorOptions& o) {
  switch (o.isotherm) {
    case KOLTHERMO_ISOTHERM_OFF:
      return true;
    case KOLTHERMO_ISOTHERM_ABOVE:
      return std::isfinite(o.iso_low_c);
    case KOLTHERMO_ISOTHERM_BELOW:
      return std::isfinite(o.iso_high_c);
    case KOLTHERMO_ISOTHERM_BETWEEN:
      return std::isfinite(o.iso_low_c) && std::isfinite(o.iso_high_c) &&
             o.iso_low_c <= o.iso_high_c;
    default:
      return false;
  }
}

// The settings for `o`, or false when an option is out of its range.
bool SettingsFor(const KolThermoColorOptions& o, kth::ColorizeSettings& s) {
  s.palette = kth::FindPalette(o.palette);
  if (s.palette == nullptr || !ValidIsotherm(o)) return false;
  switch (o.range) {
    case KOLTHERMO_RANGE_AUTO:
      s.range = kth::RangeMode::kAuto;
      break;
    case KOLTHERMO_RANGE_MANUAL:
      if (!std::isfinite(o.low_c) || !std::isfinite(o.high_c) || !(o.low_c < o.high_c)) {
        return false;
      }
      s.range = kth::RangeMode::kManual;
      break;
    case KOLTHERMO_RANGE_HISTOGRAM:
      s.range = kth::RangeMode::kHistogram;
      break;
    default:
      return false;
  }
  s.low_c = o.low_c;
  s.high_c = o.high_c;
  s.isotherm = o.isotherm != KOLTHERMO_ISOTHERM_OFF;
  const float inf = INFINITY;
  s.iso_low_c = o.isotherm == KOLTHERMO_ISOTHERM_BELOW ? -inf : o.iso_low_c;
  s.iso_high_c = o.isotherm == KOLTHERMO_ISOTHERM_ABOVE ? inf : o.iso_high_c;
  s.iso_rgb = kth::Rgb{o.iso_rgb[0], o.iso_rgb[1], o.iso_rgb[2]};
  return true;
}

}  // namespace

extern "C" {

KOLTHERMO_THERMO_API const char* KOLTHERMO_THERMO_CALL KolThermoPaletteName(int palette) {
  return kth::PaletteNameOf(palette);
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoPaletteFromName(const char* name) {
  return kth::PaletteNamed(name);
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoPaletteColors(int palette,
                                                                      unsigned char* rgb768) {
  const kth::PaletteTable* table = kth::FindPalette(palette);
  if (table == nullptr || rgb768 == nullptr) return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  for (int i = 0; i < kth::kPaletteEntries; ++i) {
    rgb768[3 * i] = (*table)[i].r;
    rgb768[3 * i + 1] = (*table)[i].g;
    rgb768[3 * i + 2] = (*table)[i].b;
  }
  return KOLTHERMO_THERMO_OK;
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoColorize(
    const float* temperatures_c, int width, int height, const KolThermoColorOptions* options,
    unsigned char* rgb, float* used_low_c, float* used_high_c) {
  if (temperatures_c == nullptr || options == nullptr || rgb == nullptr || width <= 0 ||
      height <= 0 || static_cast<int64_t>(width) * height > kMaxFramePixels) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
  kth::ColorizeSettings settings{};
  if (!SettingsFor(*options, settings)) return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  float low = 0.0f;
  float high = 0.0f;
  const bool any =
      kth::Colorize(temperatures_c, static_cast<size_t>(width) * height, settings, rgb, low, high);
  if (used_low_c != nullptr) *used_low_c = low;
  if (used_high_c != nullptr) *used_high_c = high;
  return any ? KOLTHERMO_THERMO_OK : KOLTHERMO_THERMO_EMPTY_REGION;
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoScaleLabels(float low_c, float high_c,
                                                                    float* values, int capacity,
                                                                    int* count) {
  if (values == nullptr || count == nullptr) return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  // A handful of floats; should even they not be had, no exception may leave
  // a C function.
  try {
    const auto labels = kth::ChooseScaleLabels(low_c, high_c, capacity);
    if (!labels) return KOLTHERMO_THERMO_INVALID_ARGUMENT;
    std::memcpy(values, labels->values.data(), labels->values.size() * sizeof(float));
    *count = static_cast<int>(labels->values.size());
    return KOLTHERMO_THERMO_OK;
  } catch (const std::bad_alloc&) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoScaleBarWidth(int height) {
  return kth::LayoutScaleBar(height).width;
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoDrawWithScaleBar(const unsigned char* rgb, int width, int height, int palette, float low_c,
                          float high_c, const char* font_path, unsigned char* out) {
  const kth::PaletteTable* table = kth::FindPalette(palette);
  if (rgb == nullptr || out == nullptr || table == nullptr || width <= 0 ||
      width > kth::kScaleBarMaxSide || !std::isfinite(low_c) || !std::isfinite(high_c) ||
      low_c > high_c) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
  kth::ScaleBarResult result = kth::ScaleBarResult::kInvalid;
  try {
    result = kth::DrawScaleBar(rgb, width, height, *table, low_c, high_c, font_path, out);
  } catch (const std::bad_alloc&) {
    // The text's memory (FreeType reports its own failures the same way).
    result = kth::ScaleBarResult::kFontUnavailable;
  }
  switch (result) {
    case kth::ScaleBarResult::kOk:
      return KOLTHERMO_THERMO_OK;
    case kth::ScaleBarResult::kFontUnavailable:
      return KOLTHERMO_THERMO_FONT_UNAVAILABLE;
    case kth::ScaleBarResult::kInvalid:
      break;
  }
  return KOLTHERMO_THERMO_INVALID_ARGUMENT;
}

}  // extern "C"
