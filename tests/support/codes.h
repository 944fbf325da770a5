// Reads an instance's waiting event codes through the C interface, newest first.
#pragma once

#include <vector>

#include "kolthermo/kolthermo.h"

namespace kt::test {

inline std::vector<int> DrainCodes(int id) {
  std::vector<int> codes;
  for (int code; (code = KolThermo_GetLastError(id)) != 0;) codes.push_back(code);
  return codes;
}

}  // namespace kt::test
