#include "failing_allocator.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace kt::test::allocation {
namespace {

// Process-wide arming: the index (in g_count) from which allocations fail, 0
// when disarmed. A one-time failure clears it as it fires, so exactly one
// allocation fails however the threads race for it.
std::atomic<uint64_t> g_count{0};
std::atomic<uint64_t> g_fail_at{0};
std::atomic<bool> g_fail_on{false};
std::atomic<bool> g_fired{false};

// Arming of one thread: the index in t_count from which its allocations fail.
thread_local uint64_t t_count = 0;
thread_local uint64_t t_fail_at = 0;
thread_local bool t_fail_on = false;

// Every refused allocation passes through here: a place for a debugger's
// breakpoint when a sweep finds something.
[[gnu::noinline]] bool Refuse() {
  g_fired.store(true);
  asm volatile("");
  return true;
}

bool ShouldFail() {
  const uint64_t index = g_count.fetch_add(1, std::memory_order_relaxed) + 1;
  const uint64_t thread_index = ++t_count;
  if (t_fail_at != 0 && thread_index >= t_fail_at) {
    if (!t_fail_on) t_fail_at = 0;
    return Refuse();
  }
  uint64_t at = g_fail_at.load(std::memory_order_acquire);
  if (at == 0 || index < at) return false;
  if (g_fail_on.load(std::memory_order_acquire) ||
      g_fail_at.compare_exchange_strong(at, 0, std::memory_order_acq_rel)) {
    return Refuse();
  }
  return false;
}

void* Allocate(std::size_t size) {
  if (ShouldFail()) return nullptr;
  return std::malloc(size != 0 ? size : 1);
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
  if (ShouldFail()) return nullptr;
  std::size_t align = static_cast<std::size_t>(alignment);
  if (align < sizeof(void*)) align = sizeof(void*);
  void* memory = nullptr;
  return posix_memalign(&memory, align, size != 0 ? size : 1) == 0 ? memory : nullptr;
}

void* AllocateOrThrow(std::size_t size) {
  void* memory = Allocate(size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void* AllocateAlignedOrThrow(std::size_t size, std::align_val_t alignment) {
  void* memory = AllocateAligned(size, alignment);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

}  // namespace

void Arm(uint64_t nth, Scope scope, Extent extent) {
  Disarm();
  if (nth == 0) nth = 1;
  g_fired.store(false);
  if (scope == Scope::kThisThread) {
    t_fail_on = extent == Extent::kFromThereOn;
    t_fail_at = t_count + nth;
  } else {
    g_fail_on.store(extent == Extent::kFromThereOn);
    g_fail_at.store(g_count.load() + nth, std::memory_order_release);
  }
}

void Disarm() {
  g_fail_at.store(0, std::memory_order_release);
  g_fail_on.store(false);
  t_fail_at = 0;
  t_fail_on = false;
}

bool Fired() { return g_fired.load(); }

uint64_t ProcessCount() { return g_count.load(); }

uint64_t ThreadCount() { return t_count; }

}  // namespace kt::test::allocation

// The replaced global forms. The throwing ones throw std::bad_alloc where the
// nothrow ones return null; every delete frees what malloc or posix_memalign
// gave.
using kt::test::allocation::Allocate;
using kt::test::allocation::AllocateAligned;
using kt::test::allocation::AllocateAlignedOrThrow;
using kt::test::allocation::AllocateOrThrow;

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) {
  return AllocateAlignedOrThrow(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return AllocateAlignedOrThrow(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return AllocateAligned(size, alignment);
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(memory);
}
