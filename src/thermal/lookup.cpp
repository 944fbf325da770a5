// The 65536-entry lookup table of a state: how it is built from the points
// and how one raw code is read through it.
#include <algorithm>

#include "thermal/thermo_table.h"

namespace kt {

ThermoTableState::ThermoTableState()
    : lookup(static_cast<size_t>(kLookupEntries), kNoTemperature),
      interpolated(static_cast<size_t>(kLookupEntries), kNoTemperature),
      code_uint8(static_cast<size_t>(kLookupEntries), ClampToUInt8(kNoTemperature)),
      code_int8(static_cast<size_t>(kLookupEntries), ClampToInt8(kNoTemperature)),
      code_int32(static_cast<size_t>(kLookupEntries), TruncateToInt32(kNoTemperature)) {}

bool ThermoTableState::BuildLookup(bool interpolating) {
  if (point_count < 2 || base_points.size() < 2) return false;
  // Entries from kCalibratedCodes on stay -999.0 in every table, which lets
  // the float converter index the table with any 16-bit code.
  lookup.assign(static_cast<size_t>(kLookupEntries), kNoTemperature);
  if (interpolating) {
    std::copy_n(interpolated.begin(), kCalibratedCodes, lookup.begin());
    return true;
  }
  const size_t filled = std::min({static_cast<size_t>(point_count), base_points.size(),
                                  static_cast<size_t>(kCalibratedCodes)});
  for (size_t m = 0; m < filled; ++m) lookup[m] = base_points[m].temperature;
  return true;
}

float ThermoTableState::Lookup(uint16_t raw) const {
  if (raw >= kCalibratedCodes || raw >= lookup.size()) return kNoTemperature;
  const float entry = lookup[raw];
  return entry == kNoTemperature ? kNoTemperature : entry;
}

}  // namespace kt
