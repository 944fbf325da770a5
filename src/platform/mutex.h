// The library's lock types. std::mutex carries no thread-safety attributes in
// libstdc++, so the analysis could not see it taken or released: these thin
// wrappers add them and nothing else.
//   Mutex              a std::mutex the analysis knows as a capability;
//   MutexLock          holds a Mutex for its scope (std::lock_guard);
//   RelockableLock     holds a Mutex for its scope, may let go early
//                      (std::unique_lock's Unlock, without the rest);
//   ConditionVariable  std::condition_variable waits on a Mutex the caller
//                      holds; callers loop on their own condition, so the
//                      guarded fields they test are read under the lock the
//                      analysis sees.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/thread_annotations.h"

namespace kt {

class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }

 private:
  friend class ConditionVariable;
  std::mutex mutex_;
};

class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexLock() RELEASE() { mutex_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

class SCOPED_CAPABILITY RelockableLock {
 public:
  explicit RelockableLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~RelockableLock() RELEASE() {
    if (held_) mutex_.Unlock();
  }
  RelockableLock(const RelockableLock&) = delete;
  RelockableLock& operator=(const RelockableLock&) = delete;

  // Lets go before the end of the scope; the destructor then does nothing.
  void Unlock() RELEASE() {
    held_ = false;
    mutex_.Unlock();
  }

 private:
  Mutex& mutex_;
  bool held_ = true;
};

class ConditionVariable {
 public:
  ConditionVariable() = default;
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;

  // Releases `mutex` while blocked and holds it again on return. Wakes may be
  // spurious: callers test their condition in a loop.
  void Wait(Mutex& mutex) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
    cv_.wait(lock);
    lock.release();  // still held: the caller's scope lets it go
  }
  // As Wait; false once `deadline` has passed.
  bool WaitUntil(Mutex& mutex, std::chrono::steady_clock::time_point deadline) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
    const std::cv_status status = cv_.wait_until(lock, deadline);
    lock.release();
    return status == std::cv_status::no_timeout;
  }

  void NotifyOne() { cv_.notify_one(); }
  void NotifyAll() { cv_.notify_all(); }

 private:
  std::condition_variable cv_;
};

}  // namespace kt
