// Opening a recording behind a C handle: the exported Open functions of the
// TIFF and the colour video recordings hand out a heap object that wraps the
// recording, and give it to the caller only once the file is open.
#pragma once

#include <new>
#include <utility>

#include "kolthermo/kolthermo_radiometric.h"

namespace kt::thermography {

// Allocates a Handle (a struct whose `recording` member has
// `int Open(args...)`), opens its recording and stores it in *handle. On any
// failure nothing is stored and nothing is left allocated; an allocation that
// fails, here or inside Open, is a file error, as in the other exports.
template <typename Handle, typename... OpenArgs>
int OpenRecordingHandle(Handle** handle, OpenArgs&&... open_args) {
  auto* opened = new (std::nothrow) Handle;
  if (opened == nullptr) return KOLTHERMO_THERMO_FILE_ERROR;
  int code = KOLTHERMO_THERMO_FILE_ERROR;
  try {
    code = opened->recording.Open(std::forward<OpenArgs>(open_args)...);
  } catch (const std::bad_alloc&) {
    code = KOLTHERMO_THERMO_FILE_ERROR;
  }
  if (code != KOLTHERMO_THERMO_OK) {
    delete opened;
    return code;
  }
  *handle = opened;
  return KOLTHERMO_THERMO_OK;
}

}  // namespace kt::thermography
