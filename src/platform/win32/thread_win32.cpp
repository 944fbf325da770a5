#include <windows.h>

#include "platform/thread.h"

namespace kt::platform {

void RaiseCurrentThreadPriority() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
}

}  // namespace kt::platform
