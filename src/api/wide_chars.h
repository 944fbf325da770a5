// The public header's wide character is wchar_t on Windows and char16_t
// elsewhere; both are UTF-16 code units, which the library handles as char16_t.
#pragma once

#include "kolthermo/kolthermo.h"

namespace kt {

static_assert(sizeof(KolThermoWChar) == sizeof(char16_t), "wide strings are UTF-16");

inline const char16_t* AsUtf16(const KolThermoWChar* text) {
  return reinterpret_cast<const char16_t*>(text);
}

inline char16_t* AsUtf16(KolThermoWChar* text) { return reinterpret_cast<char16_t*>(text); }

}  // namespace kt
