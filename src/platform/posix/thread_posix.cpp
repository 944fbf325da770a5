#include <sys/resource.h>

#include "platform/thread.h"

namespace kt::platform {

void RaiseCurrentThreadPriority() {
  // On Linux the nice value is per thread; lowering it needs privileges, so a
  // refusal is expected and harmless.
  (void)setpriority(PRIO_PROCESS, 0, -5);
}

}  // namespace kt::platform
