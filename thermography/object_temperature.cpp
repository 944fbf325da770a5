#include "object_temperature.h"

#include <cmath>

#include "band_radiance.h"

namespace kt::thermography {
namespace {

bool InModelRange(double celsius) { return celsius >= kMinCelsius && celsius <= kMaxCelsius; }

bool IsFraction(double value) { return value > 0.0 && value <= 1.0; }

}  // namespace

std::optional<ObjectCorrection> ObjectCorrection::Make(double emissivity, double reflected_c,
                                                       double transmission, double atmosphere_c,
                                                       bool& out_of_range) {
  out_of_range = false;
  // NaN fails both comparisons of IsFraction and is caught here too.
  if (!IsFraction(emissivity) || !IsFraction(transmission) || !std::isfinite(reflected_c) ||
      !std::isfinite(atmosphere_c)) {
    return std::nullopt;
  }
  if (!InModelRange(reflected_c) || !InModelRange(atmosphere_c)) {
    out_of_range = true;
    return std::nullopt;
  }
  return ObjectCorrection(emissivity, transmission,
                          (1.0 - emissivity) * BandRadianceAtCelsius(reflected_c),
                          (1.0 - transmission) * BandRadianceAtCelsius(atmosphere_c));
}

std::optional<double> ObjectCorrection::ObjectCelsius(double measured_c) const {
  if (!InModelRange(measured_c)) return std::nullopt;
  const double measured = BandRadianceAtCelsius(measured_c);
  const double object = ((measured - atmosphere_) / transmission_ - reflected_) / emissivity_;
  if (!(object > 0.0)) return std::nullopt;
  return CelsiusOfBandRadiance(object);
}

}  // namespace kt::thermography
