#include "api/registry.h"

#include <cstdlib>

#include "api/system_driver.h"
#include "platform/clock.h"

namespace kt {
namespace {

std::unique_ptr<CKolThermo> DefaultFactory() {
  return std::unique_ptr<CKolThermo>(new (std::nothrow) CKolThermo());
}

// Attempts at forming a usable ID before registration gives up.
constexpr int kIdAttempts = 1000;

}  // namespace

int32_t FormInstanceId(uint32_t tick, int random, uint32_t count) {
  return static_cast<int32_t>(tick + static_cast<uint32_t>(random) + count);
}

InstanceLease::~InstanceLease() {
  if (registry_ != nullptr && instance_ != nullptr) registry_->Leave(id_);
}

InstanceLease::InstanceLease(InstanceLease&& other) noexcept
    : registry_(other.registry_), id_(other.id_), instance_(other.instance_) {
  other.registry_ = nullptr;
  other.instance_ = nullptr;
}

InstanceRegistry::InstanceRegistry(Factory factory)
    : factory_(factory != nullptr ? factory : &DefaultFactory) {}

InstanceRegistry::~InstanceRegistry() {
  MutexLock lock(mutex_);
  chain_.Clear();
}

int32_t InstanceRegistry::Register() {
  // The tick and the random value are taken before the instance is built, as
  // the ID formation has always done; the count is read under the lock.
  uint32_t tick = platform::SystemTickMs();
  // std::rand keeps its state thread-safe in both C runtimes we ship on (a
  // lock in glibc, per-thread state in the Windows CRT).
  int random = std::rand();  // NOLINT(concurrency-mt-unsafe)
  std::unique_ptr<CKolThermo> instance;
  try {
    instance = factory_();
  } catch (...) {
    return 0;
  }
  if (!instance) return 0;

  MutexLock lock(mutex_);
  int32_t id = FormInstanceId(tick, random, chain_.count());
  for (int attempt = 1; id == 0 || chain_.Contains(id); ++attempt) {
    // 0 is the failure value and a duplicate would shadow a registered
    // instance: form the ID again from a fresh tick and random value.
    if (attempt >= kIdAttempts) return 0;
    tick = platform::SystemTickMs();
    random = std::rand();  // NOLINT(concurrency-mt-unsafe)
    id = FormInstanceId(tick, random, chain_.count());
  }
  try {
    gates_.emplace(id, Gate{});
  } catch (const std::bad_alloc&) {
    return 0;
  }
  if (!chain_.Add(CSDKDATA{id, instance.get(), nullptr, nullptr})) {
    gates_.erase(id);
    return 0;
  }
  static_cast<void>(instance.release());  // owned by the ring element from here on
  return id;
}

InstanceLease InstanceRegistry::Acquire(int32_t id) {
  MutexLock lock(mutex_);
  CSDKDATA* element = chain_.Lookup(id);
  if (element == nullptr || element->instance == nullptr) return {};
  auto gate = gates_.find(id);
  if (gate == gates_.end() || gate->second.releasing) return {};
  ++gate->second.callers;
  return InstanceLease(this, id, element->instance);
}

void InstanceRegistry::Leave(int32_t id) {
  MutexLock lock(mutex_);
  auto gate = gates_.find(id);
  if (gate != gates_.end() && --gate->second.callers == 0 && gate->second.releasing) {
    callers_left_.NotifyAll();
  }
}

int InstanceRegistry::Release(int32_t id) {
  CKolThermo* instance = nullptr;
  {
    MutexLock lock(mutex_);
    CSDKDATA* element = chain_.Lookup(id);
    if (element == nullptr || element->instance == nullptr) return 0;
    auto gate = gates_.find(id);
    if (gate == gates_.end() || gate->second.releasing) return 0;
    gate->second.releasing = true;  // new calls on this ID fail from now on
    instance = element->instance;
    Gate& waiting = gate->second;
    while (waiting.callers != 0) callers_left_.Wait(mutex_);
  }
  // Destroying stops acquisition, which may take a while: outside the lock.
  delete instance;
  MutexLock lock(mutex_);
  if (CSDKDATA* element = chain_.Lookup(id)) element->instance = nullptr;
  chain_.Unregister(id);
  gates_.erase(id);
  return 1;
}

InstanceRegistry& GlobalRegistry() {
  // Hosts make every instance through the registry, so the driver is in place
  // before any device can be opened.
  static const bool driver_prepared = [] {
    PrepareSystemDriver();
    return true;
  }();
  static_cast<void>(driver_prepared);
  static InstanceRegistry registry;
  return registry;
}

}  // namespace kt
