#include "scale_bar_labels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace kt::thermography {
namespace {

// Intervals a scale aims for when there is room: five reads at a glance.
constexpr int kPreferredIntervals = 5;
// Interior labels closer than this many steps to an end would crowd it.
constexpr double kEndClearance = 0.5;
constexpr int kMaxDecimals = 4;

// The smallest 1, 2 or 5 x 10^k at or above x (x > 0).
double RoundStepAtLeast(double x) {
  double power = std::pow(10.0, std::floor(std::log10(x)));
  for (;;) {
    for (const double m : {1.0, 2.0, 5.0}) {
      if (m * power >= x) return m * power;
    }
    power *= 10.0;
  }
}

// The next larger round step.
double NextRoundStep(double step) { return RoundStepAtLeast(step * 1.000001); }

// The interior multiples of `step`; stops early once more than `limit`.
std::vector<float> Interior(double low, double high, double step, size_t limit) {
  std::vector<float> values;
  for (double k = std::ceil(low / step); k * step <= high && values.size() <= limit; k += 1.0) {
    const double v = k * step;
    if (v - low < kEndClearance * step || high - v < kEndClearance * step) continue;
    // A range a few floats wide has steps finer than a float: keep only
    // values that stay strictly between the ends and their neighbours.
    const auto value = static_cast<float>(v);
    if (value <= low || value >= high || (!values.empty() && value <= values.back())) continue;
    values.push_back(value);
  }
  return values;
}

}  // namespace

std::optional<ScaleLabels> ChooseScaleLabels(float low, float high, int capacity) {
  if (!std::isfinite(low) || !std::isfinite(high) || low > high || capacity < 1) {
    return std::nullopt;
  }
  ScaleLabels labels;
  if (low == high) {
    labels.values = {low};
    return labels;
  }
  if (capacity < 2) return std::nullopt;
  const double span = static_cast<double>(high) - static_cast<double>(low);
  const int intervals = std::min(kPreferredIntervals, capacity - 1);
  const auto interior_limit = static_cast<size_t>(capacity - 2);
  double step = RoundStepAtLeast(span / intervals);
  std::vector<float> interior = Interior(low, high, step, interior_limit);
  while (interior.size() > interior_limit) {
    step = NextRoundStep(step);
    interior = Interior(low, high, step, interior_limit);
  }
  labels.values.reserve(interior.size() + 2);
  labels.values.push_back(low);
  labels.values.insert(labels.values.end(), interior.begin(), interior.end());
  labels.values.push_back(high);
  labels.decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step))), 1, kMaxDecimals);
  return labels;
}

std::u32string LabelText(float value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(value));
  std::string_view digits = text;
  // A value that rounds to zero shows no sign.
  if (digits[0] == '-' && digits.find_first_not_of("-0.") == std::string_view::npos) {
    digits.remove_prefix(1);
  }
  std::u32string result(digits.begin(), digits.end());
  return result + U" \u00B0C";
}

}  // namespace kt::thermography
