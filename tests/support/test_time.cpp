#include "support/test_time.h"

#include "kolthermo/kolthermo.h"

#include <cmath>
#include <cstdlib>
#include <thread>

namespace kt::test {

double TimeScale() {
  static const double scale = [] {
    const char* text = std::getenv("KOLTHERMO_TEST_TIME_SCALE");
    const double value = text != nullptr ? std::atof(text) : 1.0;
    return std::isfinite(value) && value >= 1.0 ? value : 1.0;
  }();
  return scale;
}

int ScaledMs(int ms) { return ms <= 0 ? ms : static_cast<int>(std::lround(ms * TimeScale())); }

std::chrono::milliseconds Scaled(std::chrono::milliseconds limit) {
  return std::chrono::milliseconds(std::llround(static_cast<double>(limit.count()) * TimeScale()));
}

std::chrono::steady_clock::time_point DeadlineIn(std::chrono::milliseconds limit) {
  return std::chrono::steady_clock::now() + Scaled(limit);
}

int HoldNewestFrame(int id) {
  KolThermo_Pause(id);
  // The capture loop looks at the pause flag once per frame: when the newest
  // ID has stayed put for a while, no frame is in flight any more.
  int newest = KolThermo_GetNewID(id);
  const auto deadline = DeadlineIn(std::chrono::seconds(10));
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(Scaled(std::chrono::milliseconds(25)));
    const int now = KolThermo_GetNewID(id);
    if (now == newest) break;
    newest = now;
  }
  return newest;
}

}  // namespace kt::test
