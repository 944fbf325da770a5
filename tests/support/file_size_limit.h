// A full disk on demand: a per-process limit on the size any file may grow to
// (RLIMIT_FSIZE). Writes past the limit fail with EFBIG instead of raising
// SIGXFSZ, which is ignored while the limit is in force. The limit applies to
// every thread of the test process, the capture thread included.
#pragma once

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>

namespace kt::test {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    Set(bytes);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  // Files may grow to `bytes` bytes from now on.
  void Set(rlim_t bytes) {
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  // Space returns: the limit in force before this object.
  void Lift() { setrlimit(RLIMIT_FSIZE, &saved_); }

 private:
  rlimit saved_{};
  void (*previous_handler_)(int) = nullptr;
};

}  // namespace kt::test

#endif  // _WIN32
