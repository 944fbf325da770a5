// Object correction of many temperatures at once: through the interpolation
// table of the parameters for frames, through the exact inverse for a few
// values and for what the table does not cover.
#pragma once

#include "correction_table.h"
#include "object_temperature.h"

namespace kt::thermography {

// Below this many values the exact inverse is cheaper than building a table.
inline constexpr int kTableWorthwhile = 512;

// Corrects in[0..count) into out (which may be `in`): -999.0 passes through,
// a value that cannot be corrected becomes -999.0 and is counted. `table`,
// null for the exact path throughout, must belong to the same parameters as
// `exact`. Returns the number of failed values.
int CorrectValues(const ObjectCorrection& exact, const CorrectionTable* table, const float* in,
                  float* out, int count);

}  // namespace kt::thermography
