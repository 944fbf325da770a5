// Statistics of the temperatures of a region: extremes and where they first
// occur, mean and population standard deviation accumulated in double, the
// number of pixels that had a temperature.
#pragma once

#include <vector>

#include "kolthermo/kolthermo_measure.h"
#include "measure_region.h"

namespace kt::thermography {

// The pixels of `runs` taken from a frame `width` values wide. Fills
// everything in `stats` but the alarm. Returns false, leaving `stats` alone,
// when no pixel has a temperature (-999.0 and non-finite values take no part).
bool RegionStats(const float* frame, int width, const std::vector<Run>& runs,
                 KolThermoStats& stats);

// The same over runs whose values lie one after another in `values` (the
// region gathered, in run order); positions are still those of the runs in a
// frame `width` values wide.
bool PackedRegionStats(const float* values, int width, const std::vector<Run>& runs,
                       KolThermoStats& stats);

}  // namespace kt::thermography
