// Tests keep wide paths as std::u16string; the C interface takes them as
// KolThermoWChar, which has the same 16-bit code units.
#pragma once

#include <string>

#include "kolthermo/kolthermo.h"

namespace kt::test {

inline const KolThermoWChar* Wide(const std::u16string& text) {
  return reinterpret_cast<const KolThermoWChar*>(text.c_str());
}

}  // namespace kt::test
