#include "band_radiance.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace kt::thermography {
namespace {

// Radiation constants with wavelengths in micrometres: c1 = 2 h c^2 in
// W um^4 m^-2 sr^-1, c2 = h c / k in um K (CODATA 2018, exact h, c and k).
constexpr double kC1 = 1.191042972397188e8;
constexpr double kC2 = 1.438776877503934e4;
constexpr double kBandLowUm = 8.0;
constexpr double kBandHighUm = 14.0;

// 8-point Gauss-Legendre on 16 panels of 0.375 um. The integrand is analytic
// and smooth across the band, so the rule is exact to rounding: doubling the
// panels changes the result by less than 1e-14 relative, while 0.001 K is
// about 1e-5 relative anywhere in the model range.
constexpr int kPanels = 16;
constexpr std::array<double, 4> kNodes = {0.1834346424956498, 0.5255324099163290,
                                          0.7966664774136267, 0.9602898564975363};
constexpr std::array<double, 4> kWeights = {0.3626837833783620, 0.3137066458778873,
                                            0.2223810344533745, 0.1012285362903763};

// The table: exact band radiance every half degree over the model range,
// strictly increasing, the start of every inverse.
constexpr double kTableStep = 0.5;
constexpr std::size_t kTableSize =
    static_cast<std::size_t>((kMaxCelsius - kMinCelsius) / kTableStep) + 1;

// One quadrature node: its wavelength, the wavelength's fifth power and its
// weight.
struct Node {
  double um;
  double um5;
  double weight;
};
constexpr std::size_t kNodeCount = 2 * kNodes.size() * kPanels;

// The nodes in the order their terms are summed. The fifth powers depend on
// the wavelength only, so they are computed once rather than at every
// temperature: inverting Planck for a calibration table evaluates the
// integral tens of thousands of times. Built on first use, read-only after.
const std::array<Node, kNodeCount>& Nodes() {
  static const std::array<Node, kNodeCount> nodes = [] {
    std::array<Node, kNodeCount> built{};
    const double half = (kBandHighUm - kBandLowUm) / kPanels / 2.0;
    std::size_t n = 0;
    for (int panel = 0; panel < kPanels; ++panel) {
      const double mid = kBandLowUm + half * (2 * panel + 1);
      for (std::size_t k = 0; k < kNodes.size(); ++k) {
        for (const double um : {mid - half * kNodes[k], mid + half * kNodes[k]}) {
          built[n++] = Node{um, std::pow(um, 5), kWeights[k]};
        }
      }
    }
    return built;
  }();
  return nodes;
}

// Adds the spectral radiance at `node` and its temperature derivative,
// weighted.
void AddPlanck(const Node& node, double kelvin, BandRadiance& sum) {
  const double x = kC2 / (node.um * kelvin);
  const double em1 = std::expm1(x);
  const double spectral = kC1 / (node.um5 * em1);
  sum.radiance += node.weight * spectral;
  // d/dT of c1 / (um^5 (e^x - 1)) with dx/dT = -x / T.
  sum.derivative += node.weight * spectral * (x / kelvin) * ((em1 + 1.0) / em1);
}

const std::array<double, kTableSize>& Table() {
  static const std::array<double, kTableSize> table = [] {
    std::array<double, kTableSize> values{};
    for (std::size_t i = 0; i < kTableSize; ++i) {
      values[i] = BandRadianceAtCelsius(kMinCelsius + kTableStep * static_cast<double>(i));
    }
    return values;
  }();
  return table;
}

}  // namespace

BandRadiance BandRadianceAtKelvin(double kelvin) {
  const double half = (kBandHighUm - kBandLowUm) / kPanels / 2.0;
  BandRadiance sum{0.0, 0.0};
  for (const Node& node : Nodes()) AddPlanck(node, kelvin, sum);
  sum.radiance *= half;
  sum.derivative *= half;
  return sum;
}

double BandRadianceAtCelsius(double celsius) {
  return BandRadianceAtKelvin(celsius + kKelvinAtZeroCelsius).radiance;
}

std::optional<double> CelsiusOfBandRadiance(double radiance) {
  const auto& table = Table();
  if (!(radiance >= table.front() && radiance <= table.back())) return std::nullopt;
  // The first entry above the radiance (the last entry when it equals it),
  // then the line between it and the one below as the first guess.
  const auto above = std::upper_bound(table.begin() + 1, table.end() - 1, radiance);
  const auto i = static_cast<std::size_t>(above - table.begin());
  const double fraction = (radiance - table[i - 1]) / (table[i] - table[i - 1]);
  double kelvin =
      kMinCelsius + kTableStep * (static_cast<double>(i - 1) + fraction) + kKelvinAtZeroCelsius;
  // The line errs by well under 0.01 K on a half-degree step; Newton on the
  // exact integral doubles the correct digits each step, so two or three reach
  // rounding.
  for (int step = 0; step < 6; ++step) {
    const BandRadiance at = BandRadianceAtKelvin(kelvin);
    const double change = (at.radiance - radiance) / at.derivative;
    kelvin -= change;
    if (std::fabs(change) < 1e-10) break;
  }
  return std::clamp(kelvin - kKelvinAtZeroCelsius, kMinCelsius, kMaxCelsius);
}

}  // namespace kt::thermography
