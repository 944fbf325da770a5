// The process-wide instance registry: maps the integer IDs that hosts hold to
// camera instances.
//
// CSdkChain is the ring of registered instances. InstanceRegistry wraps it with
// one mutex and a per-instance count of calls in flight, so that a release on
// one host thread waits for calls on others to leave the instance before it is
// destroyed. With one host thread the behaviour is exactly the ring's: ID
// formation, rotation on lookup and order of removal are unchanged.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "api/ring.h"
#include "camera/kol_thermo.h"
#include "platform/mutex.h"

namespace kt {

// One registered instance, held in its own ring node.
struct CSDKDATA {
  int32_t instance_id = 0;
  CKolThermo* instance = nullptr;  // owned; set to none just before removal
  CSDKDATA* previous = nullptr;
  CSDKDATA* next = nullptr;
};

class CSdkChain : public CTRing<CSDKDATA> {};

// Forms an instance ID from a tick count, a random value and the registry's
// count, in wrapping 32-bit arithmetic.
int32_t FormInstanceId(uint32_t tick, int random, uint32_t count);

class InstanceRegistry;

// Keeps an instance alive for the length of one export call.
class InstanceLease {
 public:
  InstanceLease() = default;
  InstanceLease(InstanceRegistry* registry, int32_t id, CKolThermo* instance)
      : registry_(registry), id_(id), instance_(instance) {}
  ~InstanceLease();
  InstanceLease(InstanceLease&& other) noexcept;
  InstanceLease& operator=(InstanceLease&&) = delete;
  InstanceLease(const InstanceLease&) = delete;

  explicit operator bool() const { return instance_ != nullptr; }
  CKolThermo& operator*() const { return *instance_; }
  CKolThermo* get() const { return instance_; }

 private:
  InstanceRegistry* registry_ = nullptr;
  int32_t id_ = 0;
  CKolThermo* instance_ = nullptr;
};

class InstanceRegistry {
 public:
  // Builds instances; replaceable so that tests can count or fail constructions.
  using Factory = std::unique_ptr<CKolThermo> (*)();

  explicit InstanceRegistry(Factory factory = nullptr);
  ~InstanceRegistry();  // frees the nodes only, as the library does at unload
  InstanceRegistry(const InstanceRegistry&) = delete;
  InstanceRegistry& operator=(const InstanceRegistry&) = delete;

  // Constructs and registers a new instance; its ID, or 0 on failure. An ID
  // that comes out as 0 or equal to a registered ID is formed again.
  int32_t Register() EXCLUDES(mutex_);
  // Finds the instance (rotating the ring) and holds it for one call; empty
  // when the ID is unknown, has no instance or is being released.
  InstanceLease Acquire(int32_t id) EXCLUDES(mutex_);
  // Destroys the instance and removes it; 1, or 0 for an unknown ID.
  int Release(int32_t id) EXCLUDES(mutex_);

  // For tests: the ring itself (call only while no other thread uses the
  // registry, which is then the guard the lock would be).
  CSdkChain& chain() NO_THREAD_SAFETY_ANALYSIS { return chain_; }

 private:
  friend class InstanceLease;
  struct Gate {
    int callers = 0;
    bool releasing = false;
  };
  void Leave(int32_t id) EXCLUDES(mutex_);

  const Factory factory_;
  Mutex mutex_;
  ConditionVariable callers_left_;  // signalled when a releasing gate's last caller leaves
  CSdkChain chain_ GUARDED_BY(mutex_);
  std::map<int32_t, Gate> gates_ GUARDED_BY(mutex_);  // one per registered ID
};

// The one registry of the loaded library.
InstanceRegistry& GlobalRegistry();

}  // namespace kt
