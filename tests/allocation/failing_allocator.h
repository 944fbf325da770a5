// A replacement for every global operator new and delete of the test process
// that counts allocations and can be armed to refuse one of them (or every one
// from some point on), so that tests can run the library into
// std::bad_alloc, or a null result from the nothrow forms, at each place it
// allocates.
//
// Two ways of choosing the allocation that fails:
// - process-wide: the Nth allocation from now, counted across all threads
//   (the host's, the capture thread, the stream thread, the simulator's);
// - this thread only: the Nth allocation from now made by the calling thread;
//   allocations on every other thread go through untouched.
// Arming and disarming never allocate.
#pragma once

#include <cstdint>

namespace kt::test::allocation {

enum class Scope { kAllThreads, kThisThread };
enum class Extent {
  kOnce,         // only the Nth allocation fails
  kFromThereOn,  // the Nth and every later one (in the scope) fail until disarmed
};

// Arms the allocator: the `nth` allocation from now (1 = the very next) in
// `scope` fails. Replaces any earlier arming.
void Arm(uint64_t nth, Scope scope, Extent extent = Extent::kOnce);
// Lets every allocation through again.
void Disarm();
// True when an armed failure has been delivered since the last Arm.
bool Fired();

// Allocations made so far by the whole process and by the calling thread.
uint64_t ProcessCount();
uint64_t ThreadCount();

// Arms on construction, disarms on destruction.
class ArmedScope {
 public:
  ArmedScope(uint64_t nth, Scope scope, Extent extent = Extent::kOnce) { Arm(nth, scope, extent); }
  ~ArmedScope() { Disarm(); }
  ArmedScope(const ArmedScope&) = delete;
  ArmedScope& operator=(const ArmedScope&) = delete;
};

}  // namespace kt::test::allocation
