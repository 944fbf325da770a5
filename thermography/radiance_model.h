// The band radiance as a cubic Hermite table of the exact integral, for the
// fast frame correction: values and derivatives every half degree over the
// model range, so that radiance and its inverse cost a few multiplications
// instead of a quadrature (about 1e-11 relative between nodes, under
// 1e-9 K in temperature, measured over the model range).
#pragma once

#include <vector>

namespace kt::thermography {

class RadianceModel {
 public:
  // The process-wide table, built on first use (thread-safe static).
  static const RadianceModel& Get();

  // Band radiance at `celsius`, which must lie in the model range.
  double RadianceAt(double celsius) const;

  // The temperature in the model range whose radiance is `radiance`; the
  // radiance must lie between RadianceAt(min) and RadianceAt(max). `hint` is
  // a cell index to start the search from (updated), for monotone sweeps.
  double CelsiusOf(double radiance, int& hint) const;

  double MinRadiance() const { return radiance_.front(); }
  double MaxRadiance() const { return radiance_.back(); }

 private:
  RadianceModel();

  std::vector<double> radiance_;    // L at kMinCelsius + i * kStep
  std::vector<double> derivative_;  // dL/dT there
};

}  // namespace kt::thermography
