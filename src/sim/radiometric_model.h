// The simulated sensor's radiometric response: the raw code a pixel reads for
// a scene temperature t at an internal (sensor) temperature Ti,
//
//   raw(t, Ti) = base(t) + (k1 * t + k0) * (Tref - Ti)
//
// base(t) is the response at the reference internal temperature Tref; the
// second term is the drift of a warmer or colder sensor. It is exactly the
// form the library's drift compensation undoes for a calibration table taken
// at Tref, so a table generated from base(t) together with Tref, k1 and k0
// reads true temperatures from this sensor. The calibration-table generator
// shares these constants.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kt::sim::radiometric {

// Internal temperature at which base(t) holds, degrees Celsius.
inline constexpr double kReferenceInternalC = 30.0;
// Drift slope k1: raw codes per degree of internal drift per degree of scene.
inline constexpr double kDriftSlope = 0.01;
// Drift offset k0: raw codes per degree of internal drift.
inline constexpr double kDriftOffset = 2.0;

// The scene range the curve is made for; raw codes stay well inside 0..16383
// over it for internal temperatures 0..60 degrees.
inline constexpr double kMinSceneC = -40.0;
inline constexpr double kMaxSceneC = 250.0;
inline constexpr int kMaxRawCode = 16383;

// base(t) = kBaseOffset + kBaseLinear * u + kBaseQuadratic * u^2, u = t + 40:
// smooth, increasing, steeper for hotter scenes as radiance is. About 28
// codes per degree at body temperature; 2000 at -40 degrees, 12005 at 250.
inline constexpr double kBaseOffset = 2000.0;
inline constexpr double kBaseLinear = 20.0;
inline constexpr double kBaseQuadratic = 0.05;

inline double BaseRaw(double scene_c) {
  const double u = scene_c - kMinSceneC;
  return kBaseOffset + kBaseLinear * u + kBaseQuadratic * u * u;
}

// The drift term's slope and offset for one internal temperature: raw(t, Ti)
// = BaseRaw(t) + DriftSlopeAt(Ti) * t + DriftOffsetAt(Ti).
inline double DriftSlopeAt(double internal_c) {
  return kDriftSlope * (kReferenceInternalC - internal_c);
}
inline double DriftOffsetAt(double internal_c) {
  return kDriftOffset * (kReferenceInternalC - internal_c);
}

// The exact (unrounded) raw response.
inline double Raw(double scene_c, double internal_c) {
  return BaseRaw(scene_c) + DriftSlopeAt(internal_c) * scene_c + DriftOffsetAt(internal_c);
}

// The raw code a noiseless pixel reads: rounded to nearest, clamped to 14 bits.
inline uint16_t RawCode(double scene_c, double internal_c) {
  const double rounded = std::floor(Raw(scene_c, internal_c) + 0.5);
  return static_cast<uint16_t>(std::clamp(rounded, 0.0, static_cast<double>(kMaxRawCode)));
}

// The inverse: the scene temperature that reads `raw` at `internal_c`. Solves
// the quadratic in u = t + 40; the curve increases over the whole range, so
// the larger root is the one.
inline double SceneTemperature(double raw, double internal_c) {
  const double drift = kReferenceInternalC - internal_c;
  const double a = kBaseQuadratic;
  const double b = kBaseLinear + kDriftSlope * drift;
  const double c = kBaseOffset + (kDriftOffset + kDriftSlope * kMinSceneC) * drift - raw;
  const double discriminant = std::max(0.0, b * b - 4.0 * a * c);
  const double u = (-b + std::sqrt(discriminant)) / (2.0 * a);
  return u + kMinSceneC;
}

}  // namespace kt::sim::radiometric
