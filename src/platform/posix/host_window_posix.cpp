// Host message windows and posting to them.
//
// Each window is a queue under one mutex plus an eventfd in semaphore mode
// whose counter is kept equal to the queue's length under that same mutex, so
// the descriptor polls readable exactly while messages wait. Windows are kept
// by token in a process-wide registry; callers get a shared reference for the
// length of one call, so a window destroyed meanwhile stays valid memory until
// that call ends and simply reports itself destroyed.
#include <errno.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <utility>

#include "platform/host_window.h"
#include "platform/mutex.h"
#include "platform/posix/host_message_window.h"

namespace kt::platform {
namespace {

class Window {
 public:
  explicit Window(int event_fd) : event_fd_(event_fd) {}
  ~Window() { (void)close(event_fd_); }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  int fd() const { return event_fd_; }

  bool Post(const HostMessage& message) EXCLUDES(mutex_) {
    {
      MutexLock lock(mutex_);
      if (destroyed_ || queue_.size() >= kHostQueueLimit) return false;
      queue_.push_back(message);
      if (!AddToCounter()) {
        queue_.pop_back();
        return false;
      }
    }
    cv_.NotifyOne();
    return true;
  }

  HostWaitResult Wait(int timeout_ms, HostMessage* message) EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    if (timeout_ms < 0) {
      while (!destroyed_ && queue_.empty()) cv_.Wait(mutex_);
    } else {
      const auto deadline =
          std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
      while (!destroyed_ && queue_.empty()) {
        if (!cv_.WaitUntil(mutex_, deadline)) break;
      }
    }
    if (destroyed_) return HostWaitResult::kBadWindow;
    if (queue_.empty()) return HostWaitResult::kTimeout;
    *message = queue_.front();
    queue_.pop_front();
    TakeFromCounter();
    return HostWaitResult::kMessage;
  }

  void Destroy() EXCLUDES(mutex_) {
    {
      MutexLock lock(mutex_);
      destroyed_ = true;
      while (!queue_.empty()) {
        queue_.pop_front();
        TakeFromCounter();
      }
    }
    cv_.NotifyAll();
  }

  int Pending() EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    return static_cast<int>(queue_.size());
  }

 private:
  // Both run with mutex_ held. The descriptor is non-blocking; its counter
  // never comes near its limit, so a write only fails on a broken descriptor.
  bool AddToCounter() REQUIRES(mutex_) {
    const uint64_t one = 1;
    ssize_t n = 0;
    do {
      n = write(event_fd_, &one, sizeof one);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof one);
  }

  void TakeFromCounter() REQUIRES(mutex_) {
    uint64_t value = 0;  // semaphore mode: each read takes exactly one
    ssize_t n = 0;
    do {
      n = read(event_fd_, &value, sizeof value);
    } while (n < 0 && errno == EINTR);
  }

  const int event_fd_;
  Mutex mutex_;
  ConditionVariable cv_;  // signalled on a new message and on destruction
  std::deque<HostMessage> queue_ GUARDED_BY(mutex_);  // oldest at the front
  bool destroyed_ GUARDED_BY(mutex_) = false;
};

// The live windows by token. Never destroyed, so that a post from a thread
// still running at process exit finds a valid (if empty) registry.
struct Registry {
  Mutex mutex;
  std::unordered_map<uintptr_t, std::shared_ptr<Window>> windows GUARDED_BY(mutex);
  uintptr_t last_token GUARDED_BY(mutex) = 0;  // tokens count up and are never reused
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

std::shared_ptr<Window> FindWindow(void* handle) {
  if (handle == nullptr) return nullptr;
  Registry& registry = TheRegistry();
  MutexLock lock(registry.mutex);
  const auto found = registry.windows.find(reinterpret_cast<uintptr_t>(handle));
  return found == registry.windows.end() ? nullptr : found->second;
}

}  // namespace

void* CreateHostMessageWindow() {
  const int fd = eventfd(0, EFD_SEMAPHORE | EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) return nullptr;
  std::shared_ptr<Window> window;
  try {
    window = std::make_shared<Window>(fd);
  } catch (...) {
    (void)close(fd);
    return nullptr;
  }
  try {
    Registry& registry = TheRegistry();
    MutexLock lock(registry.mutex);
    const uintptr_t token = ++registry.last_token;
    registry.windows.emplace(token, std::move(window));
    return reinterpret_cast<void*>(token);
  } catch (...) {
    return nullptr;  // the window, and with it the descriptor, goes away here
  }
}

bool DestroyHostMessageWindow(void* handle) {
  if (handle == nullptr) return false;
  std::shared_ptr<Window> window;
  try {
    Registry& registry = TheRegistry();
    MutexLock lock(registry.mutex);
    const auto found = registry.windows.find(reinterpret_cast<uintptr_t>(handle));
    if (found == registry.windows.end()) return false;
    window = std::move(found->second);
    registry.windows.erase(found);
  } catch (...) {
    return false;
  }
  window->Destroy();
  return true;
}

HostWaitResult WaitHostMessage(void* handle, int timeout_ms, HostMessage* message) {
  if (message == nullptr) return HostWaitResult::kBadWindow;
  try {
    const std::shared_ptr<Window> window = FindWindow(handle);
    if (!window) return HostWaitResult::kBadWindow;
    return window->Wait(timeout_ms, message);
  } catch (...) {
    return HostWaitResult::kBadWindow;
  }
}

int HostMessageWindowFd(void* handle) {
  try {
    const std::shared_ptr<Window> window = FindWindow(handle);
    return window ? window->fd() : -1;
  } catch (...) {
    return -1;
  }
}

int PendingHostMessages(void* handle) {
  try {
    const std::shared_ptr<Window> window = FindWindow(handle);
    return window ? window->Pending() : -1;
  } catch (...) {
    return -1;
  }
}

bool PostHostMessage(void* handle, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (handle == nullptr) return false;
  try {
    const std::shared_ptr<Window> window = FindWindow(handle);
    return window && window->Post(HostMessage{message, wparam, lparam});
  } catch (...) {
    return false;
  }
}

}  // namespace kt::platform
