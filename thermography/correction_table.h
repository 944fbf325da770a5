// The object temperature as a function of the measured temperature, for one
// set of object parameters, tabulated on a uniform grid for the per-pixel
// loop of a frame: linear interpolation between exact nodes.
#pragma once

#include <memory>
#include <vector>

#include "object_temperature.h"

namespace kt::thermography {

struct ObjectParamsKey {
  float emissivity, reflected_c, transmission, atmosphere_c;
};

struct CorrectionTable {
  // Measured temperatures of the first and last node. Every measured value
  // from first_c to last_c corrects within the model range; outside them
  // lies a sliver of less than a step that still does, and the failures.
  float first_c = 0.0f;
  float last_c = -1.0f;  // below first_c: no node (nothing corrects)
  float steps_per_degree = 1.0f;
  std::vector<float> value;  // object temperature at each node
  std::vector<float> slope;  // value[i + 1] - value[i]; 0 at the last node
  // The same, node by node: the bytes of {value, slope} in one 8-byte word,
  // for loops that fetch both with one load.
  std::vector<double> pairs;
};

// Builds the table; `exact` is the correction of the same parameters (which
// ObjectCorrection::Make accepted), the judge of the ends of the table.
std::unique_ptr<const CorrectionTable> BuildCorrectionTable(const ObjectParamsKey& params,
                                                            const ObjectCorrection& exact);

// The table of `params` from a small process-wide cache of the most recent
// parameter sets (built on a miss; null when there is no memory for it).
// Safe to call from any thread; the table stays valid for as long as the
// caller holds it.
std::shared_ptr<const CorrectionTable> CorrectionTableFor(const ObjectParamsKey& params,
                                                          const ObjectCorrection& exact);

}  // namespace kt::thermography
