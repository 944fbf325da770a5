#include "radiance_model.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "band_radiance.h"

namespace kt::thermography {
namespace {

constexpr double kStep = 0.5;
constexpr int kCells = static_cast<int>((kMaxCelsius - kMinCelsius) / kStep);

// The cubic Hermite of one cell at fraction u in [0, 1], and its derivative
// with respect to u.
struct Cubic {
  double value;
  double slope;
};

Cubic Hermite(double y0, double y1, double d0, double d1, double u) {
  const double u2 = u * u, u3 = u2 * u;
  const double h00 = 2 * u3 - 3 * u2 + 1, h10 = u3 - 2 * u2 + u;
  const double h01 = -2 * u3 + 3 * u2, h11 = u3 - u2;
  const double value = h00 * y0 + h10 * kStep * d0 + h01 * y1 + h11 * kStep * d1;
  const double slope = (6 * u2 - 6 * u) * (y0 - y1) + (3 * u2 - 4 * u + 1) * kStep * d0 +
                       (3 * u2 - 2 * u) * kStep * d1;
  return {value, slope};
}

}  // namespace

const RadianceModel& RadianceModel::Get() {
  static const RadianceModel model;
  return model;
}

RadianceModel::RadianceModel() : radiance_(kCells + 1), derivative_(kCells + 1) {
  for (int i = 0; i <= kCells; ++i) {
    const BandRadiance at = BandRadianceAtKelvin(kMinCelsius + kStep * i + kKelvinAtZeroCelsius);
    radiance_[static_cast<std::size_t>(i)] = at.radiance;
    derivative_[static_cast<std::size_t>(i)] = at.derivative;
  }
}

double RadianceModel::RadianceAt(double celsius) const {
  const double t = std::clamp((celsius - kMinCelsius) / kStep, 0.0, static_cast<double>(kCells));
  const int cell = std::min(static_cast<int>(t), kCells - 1);
  const auto i = static_cast<std::size_t>(cell);
  return Hermite(radiance_[i], radiance_[i + 1], derivative_[i], derivative_[i + 1], t - cell)
      .value;
}

double RadianceModel::CelsiusOf(double radiance, int& hint) const {
  // The cell holding the radiance: walk from the hint (sweeps move a cell or
  // two at a time), or search when the hint is far off.
  int cell = std::clamp(hint, 0, kCells - 1);
  auto at = [this](int i) { return radiance_[static_cast<std::size_t>(i)]; };
  if (radiance < at(cell) || radiance > at(cell + 1)) {
    const auto above = std::upper_bound(radiance_.begin() + 1, radiance_.end() - 1, radiance);
    cell = static_cast<int>(above - radiance_.begin()) - 1;
  }
  hint = cell;
  const auto i = static_cast<std::size_t>(cell);
  const double y0 = radiance_[i], y1 = radiance_[i + 1];
  const double d0 = derivative_[i], d1 = derivative_[i + 1];
  // Newton on the cubic from the chord's guess; the cubic is monotone and
  // nearly straight over half a degree, so three or four steps reach rounding.
  double u = std::clamp((radiance - y0) / (y1 - y0), 0.0, 1.0);
  for (int step = 0; step < 8; ++step) {
    const Cubic c = Hermite(y0, y1, d0, d1, u);
    const double change = (c.value - radiance) / c.slope;
    u = std::clamp(u - change, 0.0, 1.0);
    if (std::fabs(change) < 1e-13) break;
  }
  return kMinCelsius + kStep * (cell + u);
}

}  // namespace kt::thermography
