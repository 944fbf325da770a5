// The one pattern every export follows: look the instance up, hold it for the
// call, forward, and turn anything thrown into the export's failure result so
// that nothing ever crosses the C boundary.
#pragma once

#include <cstdint>
#include <new>
#include <type_traits>

#include "api/registry.h"

namespace kt {

// Running out of memory inside an operation is told to the host as code 6
// (buffer or memory), so that a failed call always leaves a reason behind.
template <typename Result, typename Operation>
Result CallInstance(int32_t id, Result failure, Operation&& operation) noexcept {
  // The operation returns the export's own result type: the instance answers
  // in bool, and each export says how that becomes the C API's 1 or 0.
  static_assert(std::is_same_v<std::invoke_result_t<Operation&, CKolThermo&>, Result>,
                "convert the instance's result in the export");
  try {
    InstanceLease lease = GlobalRegistry().Acquire(id);
    if (!lease) return failure;
    try {
      return operation(*lease);
    } catch (const std::bad_alloc&) {
      (*lease).Raise(EventCode::kBufferOrMemory);
      return failure;
    }
  } catch (...) {
    return failure;
  }
}

}  // namespace kt

namespace kt {

// Operations that this build does not provide yet fail honestly: result 0 and
// code 10 (not supported) on a known instance.
inline int RaiseNotSupported(CKolThermo& instance) {
  instance.Raise(EventCode::kNotSupported);
  return 0;
}

}  // namespace kt
