#include "thermography_options.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kt::cli {
namespace {

// The number `text` is as a whole, or nothing.
template <typename Number>
std::optional<Number> WholeNumber(std::string_view text) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(text.data(), end, value);
  if (text.empty() || status != std::errc() || stop != end) return std::nullopt;
  if constexpr (std::is_floating_point_v<Number>) {
    if (!std::isfinite(value)) return std::nullopt;
  }
  return value;
}

// A temperature in the thermography library's range.
std::optional<float> Celsius(std::string_view text) {
  const std::optional<double> value = WholeNumber<double>(text);
  if (!value || *value < KOLTHERMO_THERMO_MIN_C || *value > KOLTHERMO_THERMO_MAX_C) {
    return std::nullopt;
  }
  return static_cast<float>(*value);
}

// "LOW:HIGH" with LOW below HIGH, both temperatures.
std::optional<std::pair<float, float>> CelsiusInterval(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == text.npos) return std::nullopt;
  const std::optional<float> low = Celsius(text.substr(0, colon));
  const std::optional<float> high = Celsius(text.substr(colon + 1));
  if (!low || !high || !(*low < *high)) return std::nullopt;
  return std::pair{*low, *high};
}

// The comma-separated whole numbers of `text`.
std::optional<std::vector<int>> WholeNumbers(std::string_view text) {
  std::vector<int> numbers;
  for (;;) {
    const size_t comma = text.find(',');
    const std::optional<int> number = WholeNumber<int>(text.substr(0, comma));
    if (!number) return std::nullopt;
    numbers.push_back(*number);
    if (comma == text.npos) return numbers;
    text.remove_prefix(comma + 1);
  }
}

std::string Quoted(std::string_view option, std::string_view text) {
  return std::string(option) + " '" + std::string(text) + "'";
}

std::string CelsiusLimits() {
  char text[64];
  std::snprintf(text, sizeof text, "%g to %g degrees", static_cast<double>(KOLTHERMO_THERMO_MIN_C),
                static_cast<double>(KOLTHERMO_THERMO_MAX_C));
  return text;
}

}  // namespace

void ParseRange(std::string_view text, KolThermoColorOptions* colours) {
  if (text == "auto") {
    colours->range = KOLTHERMO_RANGE_AUTO;
    return;
  }
  if (text == "histogram") {
    colours->range = KOLTHERMO_RANGE_HISTOGRAM;
    return;
  }
  const auto interval = CelsiusInterval(text);
  if (!interval) {
    throw UsageError(Quoted("--range", text) +
                     ": expected auto, histogram or LOW:HIGH in degrees with LOW below HIGH (" +
                     CelsiusLimits() + ")");
  }
  colours->range = KOLTHERMO_RANGE_MANUAL;
  colours->low_c = interval->first;
  colours->high_c = interval->second;
}

void ParseIsotherm(std::string_view text, KolThermoColorOptions* colours) {
  const auto fail = [text] {
    throw UsageError(Quoted("--isotherm", text) +
                     ": expected above:T, below:T or LOW:HIGH in degrees (" + CelsiusLimits() +
                     ")");
  };
  for (const auto& [prefix, mode] :
       {std::pair{std::string_view("above:"), KOLTHERMO_ISOTHERM_ABOVE},
        std::pair{std::string_view("below:"), KOLTHERMO_ISOTHERM_BELOW}}) {
    if (!text.starts_with(prefix)) continue;
    const std::optional<float> threshold = Celsius(text.substr(prefix.size()));
    if (!threshold) fail();
    colours->isotherm = mode;
    colours->iso_low_c = *threshold;
    colours->iso_high_c = *threshold;
    return;
  }
  const auto interval = CelsiusInterval(text);
  if (!interval) fail();
  colours->isotherm = KOLTHERMO_ISOTHERM_BETWEEN;
  colours->iso_low_c = interval->first;
  colours->iso_high_c = interval->second;
}

MeasuredRegion ParseSpot(std::string_view text, int width, int height) {
  const std::optional<std::vector<int>> numbers = WholeNumbers(text);
  if (!numbers || numbers->size() < 2 || numbers->size() > 3) {
    throw UsageError(Quoted("--spot", text) + ": expected X,Y or X,Y,R in pixels");
  }
  KolThermoRegion region{};
  region.kind = KOLTHERMO_REGION_SPOT;
  region.x = (*numbers)[0];
  region.y = (*numbers)[1];
  region.radius = numbers->size() == 3 ? (*numbers)[2] : kDefaultSpotRadius;
  if (region.radius < 0 || region.radius > kMaxSpotRadius) {
    throw UsageError(Quoted("--spot", text) + ": the radius runs from 0 to " +
                     std::to_string(kMaxSpotRadius));
  }
  // Compared without adding to or subtracting from the coordinates, which
  // may be anywhere in int's range.
  if (region.x < region.radius || region.y < region.radius ||
      region.x > width - 1 - region.radius || region.y > height - 1 - region.radius) {
    throw UsageError(Quoted("--spot", text) + ": the spot reaches outside the " +
                     std::to_string(width) + " x " + std::to_string(height) + " picture");
  }
  return {"spot " + std::to_string(region.x) + "," + std::to_string(region.y) + " r" +
              std::to_string(region.radius),
          region};
}

MeasuredRegion ParseBox(std::string_view text, int width, int height) {
  const std::optional<std::vector<int>> numbers = WholeNumbers(text);
  if (!numbers || numbers->size() != 4) {
    throw UsageError(Quoted("--box", text) + ": expected X,Y,W,H in pixels");
  }
  KolThermoRegion region{};
  region.kind = KOLTHERMO_REGION_BOX;
  region.x = (*numbers)[0];
  region.y = (*numbers)[1];
  region.width = (*numbers)[2];
  region.height = (*numbers)[3];
  // Compared by subtraction: no sum of two large values can overflow.
  if (region.width < 1 || region.height < 1 || region.x < 0 || region.y < 0 || region.x >= width ||
      region.y >= height || region.width > width - region.x || region.height > height - region.y) {
    throw UsageError(Quoted("--box", text) + ": the box must lie inside the " +
                     std::to_string(width) + " x " + std::to_string(height) +
                     " picture, at least 1 x 1");
  }
  return {"box " + std::to_string(region.x) + "," + std::to_string(region.y) + " " +
              std::to_string(region.width) + "x" + std::to_string(region.height),
          region};
}

ThermographyOptions ReadThermographyOptions(const ParsedOptions& options, int width, int height) {
  ThermographyOptions read;
  // In the order of the help page, so the message names the first one listed.
  // The correction alone needs no table: a raw-code file records it.
  for (const OptionSpec& spec : kThermographyOptions) {
    if (spec.name != "--emissivity" && spec.name != "--reflected" && options.Has(spec.name)) {
      read.first_temperature_option = std::string(spec.name);
      break;
    }
  }

  if (const std::optional<double> emissivity = options.Number("--emissivity", 0.0, 1.0)) {
    if (*emissivity <= 0.0) throw UsageError("--emissivity must be above 0");
    read.correct = true;
    read.object.emissivity = static_cast<float>(*emissivity);
  }
  if (const std::optional<std::string> reflected = options.Value("--reflected")) {
    if (!read.correct) {
      throw UsageError("--reflected needs --emissivity (at emissivity 1 nothing is reflected)");
    }
    const std::optional<float> celsius = Celsius(*reflected);
    if (!celsius) {
      throw UsageError(Quoted("--reflected", *reflected) + ": expected " + CelsiusLimits());
    }
    read.object.reflected_c = *celsius;
  }

  KolThermoColorOptions& colours = read.colours;
  colours.palette = KOLTHERMO_PALETTE_RAINBOW;
  colours.range = KOLTHERMO_RANGE_AUTO;
  colours.isotherm = KOLTHERMO_ISOTHERM_OFF;
  for (int i = 0; i < 3; ++i) colours.iso_rgb[i] = kIsothermRgb[i];
  if (const std::optional<std::string> palette = options.Value("--palette")) {
    colours.palette = KolThermoPaletteFromName(palette->c_str());
    if (colours.palette < 0) {
      throw UsageError(Quoted("--palette", *palette) +
                       ": expected iron, rainbow, white-hot, black-hot, arctic or lava");
    }
  }
  if (const std::optional<std::string> range = options.Value("--range"))
    ParseRange(*range, &colours);
  if (const std::optional<std::string> isotherm = options.Value("--isotherm")) {
    ParseIsotherm(*isotherm, &colours);
  }
  read.scale_bar = options.Has("--scale-bar");
  read.colour = options.Has("--palette") || options.Has("--range") || options.Has("--isotherm") ||
                read.scale_bar;

  for (const std::string& spot : options.Values("--spot")) {
    read.regions.push_back(ParseSpot(spot, width, height));
  }
  for (const std::string& box : options.Values("--box")) {
    read.regions.push_back(ParseBox(box, width, height));
  }
  return read;
}

}  // namespace kt::cli
