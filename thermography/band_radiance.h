// Band radiance of a blackbody over the camera's 8 to 14 um band, and its
// inverse: the temperature scale on which emissivity and atmosphere are
// corrected.
#pragma once

#include <optional>

namespace kt::thermography {

// The model range in degrees Celsius (the table covers it; outside it the
// inverse refuses).
inline constexpr double kMinCelsius = -100.0;
inline constexpr double kMaxCelsius = 500.0;
inline constexpr double kKelvinAtZeroCelsius = 273.15;

struct BandRadiance {
  double radiance;    // W m^-2 sr^-1
  double derivative;  // d radiance / dT, W m^-2 sr^-1 K^-1
};

// Planck's spectral radiance integrated over 8..14 um at `kelvin` (> 0), and
// its temperature derivative, by composite Gauss-Legendre quadrature.
BandRadiance BandRadianceAtKelvin(double kelvin);

double BandRadianceAtCelsius(double celsius);

// The temperature in degrees Celsius whose band radiance is `radiance`, or
// nothing when that temperature lies outside the model range.
std::optional<double> CelsiusOfBandRadiance(double radiance);

}  // namespace kt::thermography
