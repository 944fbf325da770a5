#include "sim/internal_temperature.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kt::sim {
namespace {

// T = r * kScale + kOffset with kScale = 3.6 / 32767 * (-206.685).
constexpr double kRawScale = 3.6 / 32767.0 * -206.685;
constexpr double kRawOffset = 473.874;

}  // namespace

double ModelledInternalTemperature(uint64_t ms_since_power_on) {
  const double t = static_cast<double>(ms_since_power_on);
  const double warm_up = 1.0 - std::exp(-t / kWarmUpTimeConstantMs);
  const double drift = kDriftAmplitudeC * std::sin(2.0 * std::numbers::pi * t / kDriftPeriodMs);
  // The drift grows in with the warm-up so that power-on starts at room temperature.
  return kPowerOnInternalC + (kRunningInternalC - kPowerOnInternalC) * warm_up + drift * warm_up;
}

uint16_t InternalTemperatureRaw(double celsius) {
  if (!std::isfinite(celsius)) return 0;
  const double raw = std::floor((celsius - kRawOffset) / kRawScale + 0.5);
  return static_cast<uint16_t>(std::clamp(raw, 0.0, 65535.0));
}

double InternalTemperatureFromRaw(uint16_t raw) { return raw * kRawScale + kRawOffset; }

}  // namespace kt::sim
