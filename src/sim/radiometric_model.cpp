#include "sim/radiometric_model.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "thermography/band_radiance.h"

namespace kt::sim::radiometric {
namespace {

namespace band = kt::thermography;

// The band radiance at the bottom of the scene range and the gain, computed
// once (the first call of any scene or table).
struct Calibration {
  double min_radiance;
  double codes_per_radiance;
};

const Calibration& SensorCalibration() {
  static const Calibration calibration = [] {
    const double low = band::BandRadianceAtCelsius(kMinSceneC);
    const double high = band::BandRadianceAtCelsius(kMaxSceneC);
    return Calibration{low, (kCodeAtMaxScene - kCodeAtMinScene) / (high - low)};
  }();
  return calibration;
}

}  // namespace

double BandRadiance(double celsius) { return band::BandRadianceAtCelsius(celsius); }

double CodesPerRadiance() { return SensorCalibration().codes_per_radiance; }

double ReceivedRadiance(const Surface& surface) {
  const double emitted = BandRadiance(surface.celsius);
  if (surface.emissivity >= 1.0) return emitted;
  return surface.emissivity * emitted +
         (1.0 - surface.emissivity) * BandRadiance(surface.reflected_c);
}

double ApparentTemperature(const Surface& surface) {
  if (surface.emissivity >= 1.0) return surface.celsius;
  // The received radiance lies between those of the surface and of its
  // surroundings, so inside the model range whenever both temperatures are.
  const double received = ReceivedRadiance(surface);
  return band::CelsiusOfBandRadiance(received).value_or(surface.celsius);
}

double BaseRawOfRadiance(double radiance) {
  const Calibration& calibration = SensorCalibration();
  return kCodeAtMinScene + calibration.codes_per_radiance * (radiance - calibration.min_radiance);
}

double BaseRaw(double scene_c) { return BaseRawOfRadiance(BandRadiance(scene_c)); }

SurfaceResponse ResponseOf(const Surface& surface) {
  return {BaseRawOfRadiance(ReceivedRadiance(surface)), ApparentTemperature(surface)};
}

double Raw(double scene_c, double internal_c) {
  return BaseRaw(scene_c) + DriftSlopeAt(internal_c) * scene_c + DriftOffsetAt(internal_c);
}

uint16_t RawCode(double scene_c, double internal_c) {
  const double rounded = std::floor(Raw(scene_c, internal_c) + 0.5);
  return static_cast<uint16_t>(std::clamp(rounded, 0.0, static_cast<double>(kMaxRawCode)));
}

double SceneTemperature(double raw, double internal_c) {
  const Calibration& calibration = SensorCalibration();
  const double slope = DriftSlopeAt(internal_c);
  const double offset = DriftOffsetAt(internal_c);
  // First guess: the radiance the code stands for with the drift's scene term
  // taken at room temperature (it is a fraction of a code per degree against
  // the gain's tens), inverted exactly.
  const auto radiance_of = [&](double t) {
    return calibration.min_radiance +
           (raw - offset - slope * t - kCodeAtMinScene) / calibration.codes_per_radiance;
  };
  const std::optional<double> guess = band::CelsiusOfBandRadiance(radiance_of(22.0));
  // Without drift the guess is the exact inverse (tables are mostly taken so).
  if (guess.has_value() && slope == 0.0) return *guess;
  double t = guess.value_or(raw < kCodeAtMinScene ? band::kMinCelsius : band::kMaxCelsius);
  // Newton on raw(t) - raw, whose derivative (gain times dL/dT plus the drift
  // slope) stays positive and smooth; two or three steps reach rounding.
  for (int step = 0; step < 8; ++step) {
    const band::BandRadiance at = band::BandRadianceAtKelvin(t + band::kKelvinAtZeroCelsius);
    const double error = BaseRawOfRadiance(at.radiance) + slope * t + offset - raw;
    const double change = error / (calibration.codes_per_radiance * at.derivative + slope);
    t = std::clamp(t - change, band::kMinCelsius, band::kMaxCelsius);
    if (std::fabs(change) < 1e-11) break;
  }
  return t;
}

}  // namespace kt::sim::radiometric
