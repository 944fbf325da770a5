// The parameter table as other parts of an instance see it: a preview start
// applies some stored settings again through it, exactly as a host's
// KolThermo_SetParam would.
//
// Threads: host threads only (a preview start calls it on the starting
// thread, under the acquisition's control lock); never the capture thread.
#pragma once

#include <cstdint>

namespace kt {

class ParameterTable {
 public:
  // True when the value was taken; ids outside the instance's settings reach
  // the camera's control register.
  virtual bool SetParam(int32_t id, int32_t value) = 0;
  virtual int32_t GetParam(int32_t id) = 0;

 protected:
  ParameterTable() = default;
  ~ParameterTable() = default;
  ParameterTable(const ParameterTable&) = default;
  ParameterTable& operator=(const ParameterTable&) = default;
};

}  // namespace kt
