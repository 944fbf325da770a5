#include "camera/frame_id.h"

#include <cstdlib>

#include "platform/clock.h"

namespace kt {

int32_t FormFrameIdFrom(uint32_t plus, uint32_t (*tick)(), int (*random)()) {
  for (;;) {
    const uint32_t id = tick() * static_cast<uint32_t>(random()) + plus;
    if (id != 0) return static_cast<int32_t>(id);
  }
}

int32_t FormFrameId(uint32_t plus) {
  return FormFrameIdFrom(
      plus, [] { return platform::TimerTickMs(); },
      // Thread-safe in both C runtimes (see InstanceRegistry::Register).
      [] { return std::rand(); });  // NOLINT(concurrency-mt-unsafe)
}

}  // namespace kt
