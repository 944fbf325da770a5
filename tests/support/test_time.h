// Real-time limits of the tests, on one scale.
//
// A test that waits for the library (a frame, a message, a code, a file)
// waits for what it reports and gives up only at a limit. Every such limit is
// written for a quiet native run and multiplied by the run's time scale, which
// the slow runs raise: KOLTHERMO_TEST_TIME_SCALE (default 1; the valgrind,
// sanitizer and wine runs set it). A slow or busy machine then makes a test
// slower, never red.
#pragma once

#include <chrono>

namespace kt::test {

// How many times slower than a quiet native run this run may be; at least 1.
double TimeScale();

// A wait limit of `ms` milliseconds on this run's scale.
int ScaledMs(int ms);
std::chrono::milliseconds Scaled(std::chrono::milliseconds limit);

// The point `limit` (scaled) from now, for deadline loops.
std::chrono::steady_clock::time_point DeadlineIn(std::chrono::milliseconds limit);

// Pauses instance `id`'s publishing and returns its newest frame ID once no
// further frame is published (a frame already past the pause check when the
// request came may still land). The frame stays in the ring, fetchable by its
// ID, until the host starts publishing again; 0 when the instance has none.
int HoldNewestFrame(int id);

}  // namespace kt::test
