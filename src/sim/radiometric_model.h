// The simulated sensor's radiometric response. The sensor receives band
// radiance (Planck's law over 8..14 um, thermography/band_radiance.h) and its
// raw code is affine in that radiance, plus the drift of a sensor that is
// warmer or colder than the reference:
//
//   raw(t, Ti) = base(t) + (k1 * t + k0) * (Tref - Ti)
//   base(t)    = kCodeAtMinScene + CodesPerRadiance() * (L(t) - L(kMinSceneC))
//
// t is the blackbody temperature whose band radiance L(t) the pixel receives
// (for a surface of emissivity e at T reflecting surroundings at Tr:
// L(t) = e * L(T) + (1 - e) * L(Tr), its apparent temperature). The drift term
// is exactly the form the library's drift compensation undoes for a
// calibration table taken at Tref, so a table generated from base(t) together
// with Tref, k1 and k0 reads true blackbody temperatures from this sensor. The
// calibration-table generator shares these constants.
//
// Band radiance costs a quadrature, so scenes evaluate the model once per
// distinct surface and keep base(t) and t; rendering a frame only adds the
// drift term.
#pragma once

#include <cstdint>

namespace kt::sim::radiometric {

// Internal temperature at which base(t) holds, degrees Celsius.
inline constexpr double kReferenceInternalC = 30.0;
// Drift slope k1: raw codes per degree of internal drift per degree of scene.
inline constexpr double kDriftSlope = 0.01;
// Drift offset k0: raw codes per degree of internal drift.
inline constexpr double kDriftOffset = 2.0;

// The scene range the sensor is made for.
inline constexpr double kMinSceneC = -40.0;
inline constexpr double kMaxSceneC = 250.0;
inline constexpr int kMaxRawCode = 16383;

// base(t) at the ends of the scene range (the bottom as the sensor always had
// it). With the drift (at most 135 codes for internal temperatures 0..60),
// noise and fixed pattern the codes stay well inside 0..16383; the gain that
// follows gives about 12 codes per degree at -40, 25 at room temperature and
// 74 at 250 (radiance grows faster than temperature).
inline constexpr double kCodeAtMinScene = 2000.0;
inline constexpr double kCodeAtMaxScene = 14800.0;

// What a surface of the scene is: its true temperature, its emissivity in
// (0, 1] and the temperature of the surroundings it reflects (a blackbody,
// emissivity 1, reflects nothing).
struct Surface {
  double celsius = 22.0;
  double emissivity = 1.0;
  double reflected_c = 22.0;
};

// Band radiance over 8..14 um of a blackbody at `celsius`, W m^-2 sr^-1.
double BandRadiance(double celsius);

// Raw codes per unit of band radiance.
double CodesPerRadiance();

// The band radiance a pixel receives from `surface`, and the blackbody
// temperature that sends the same (the temperature the camera reports).
double ReceivedRadiance(const Surface& surface);
double ApparentTemperature(const Surface& surface);

// base() of a received radiance and of a blackbody temperature.
double BaseRawOfRadiance(double radiance);
double BaseRaw(double scene_c);

// The drift term's slope and offset for one internal temperature: raw(t, Ti)
// = BaseRaw(t) + DriftSlopeAt(Ti) * t + DriftOffsetAt(Ti).
inline double DriftSlopeAt(double internal_c) {
  return kDriftSlope * (kReferenceInternalC - internal_c);
}
inline double DriftOffsetAt(double internal_c) {
  return kDriftOffset * (kReferenceInternalC - internal_c);
}

// One surface's response, evaluated once: raw at any internal temperature is
// base + DriftSlopeAt(Ti) * apparent_c + DriftOffsetAt(Ti).
struct SurfaceResponse {
  double base = 0.0;
  double apparent_c = 0.0;
  double RawAt(double internal_c) const {
    return base + DriftSlopeAt(internal_c) * apparent_c + DriftOffsetAt(internal_c);
  }
};
SurfaceResponse ResponseOf(const Surface& surface);

// The exact (unrounded) raw response to a blackbody at `scene_c`.
double Raw(double scene_c, double internal_c);

// The raw code a noiseless pixel reads: rounded to nearest, clamped to 14 bits.
uint16_t RawCode(double scene_c, double internal_c);

// The inverse of Raw: the blackbody temperature that reads `raw` at
// `internal_c`, exact to rounding for codes the scene range reaches.
double SceneTemperature(double raw, double internal_c);

}  // namespace kt::sim::radiometric
