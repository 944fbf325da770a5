#include "replacement_file.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kt::tools {
namespace {

namespace fs = std::filesystem;

bool Fail(std::string* error, const fs::path& path, const std::string& why) {
  if (error != nullptr) *error = "cannot write '" + path.string() + "': " + why;
  return false;
}

std::string SystemReason(int code) { return std::generic_category().message(code); }

// Creates `path` for writing; fails when anything exists under that name.
int CreateExclusively(const fs::path& path) {
#ifdef _WIN32
  return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  int fd = -1;
  do {
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
#endif
}

// A name beside `target` that no one else picks: hidden, with a random part.
fs::path TemporaryName(const fs::path& target, std::mt19937_64& random) {
  char suffix[20];
  std::snprintf(suffix, sizeof suffix, ".%016llx",
                static_cast<unsigned long long>(random()));  // NOLINT(runtime/int)
  // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about
  // `"." + std::string` inlined from libstdc++.
  std::string leaf(1, '.');
  leaf.append(target.filename().string()).append(suffix).append(".tmp");
  fs::path name = target.parent_path();
  name /= leaf;
  return name;
}

#ifndef _WIN32
// Holds the SDK's exclusive lock on the file being replaced, or notes that
// someone else holds it. The SDK locks every file it has open the same way.
class TargetLock {
 public:
  explicit TargetLock(const fs::path& path) {
    do {
      fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd_ < 0 && errno == EINTR);
    // A file this user cannot read is replaced without the check: no lock
    // can be taken on it, and so no SDK writer of this user holds one.
    if (fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) != 0) held_elsewhere_ = errno == EWOULDBLOCK;
  }
  ~TargetLock() {
    if (fd_ >= 0) close(fd_);
  }
  TargetLock(const TargetLock&) = delete;
  TargetLock& operator=(const TargetLock&) = delete;
  bool held_elsewhere() const { return held_elsewhere_; }

 private:
  int fd_ = -1;
  bool held_elsewhere_ = false;
};
#endif

// Renames `from` over `to` in one step.
bool RenameOver(const fs::path& from, const fs::path& to, std::string* reason) {
#ifdef _WIN32
  // A target open without delete sharing (as the SDK opens its files) makes
  // this fail instead of replacing it.
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  *reason = std::system_category().message(static_cast<int>(GetLastError()));
  return false;
#else
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  *reason = SystemReason(errno);
  return false;
#endif
}

}  // namespace

ReplacementFile::~ReplacementFile() { Discard(); }

bool ReplacementFile::Create(const fs::path& target, std::string* error) {
  Discard();
  if (target.empty()) return Fail(error, target, "no file named");
  std::error_code code;
  fs::path resolved = target;
  if (fs::is_symlink(fs::symlink_status(target, code))) {
    resolved = fs::canonical(target, code);
    if (code) return Fail(error, target, "the link names no file");
  }
  const fs::file_status status = fs::status(resolved, code);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    return Fail(error, target, "not a regular file");
  }
  if (resolved.filename().empty()) return Fail(error, target, "not a file name");
  replaces_existing_ = fs::exists(status);

  std::mt19937_64 random(std::random_device{}());
  for (int attempt = 0; attempt < 16; ++attempt) {
    const fs::path candidate = TemporaryName(resolved, random);
    descriptor_ = CreateExclusively(candidate);
    if (descriptor_ >= 0) {
      target_ = resolved;
      temporary_ = candidate;
      return true;
    }
    if (errno != EEXIST) return Fail(error, target, SystemReason(errno));
  }
  return Fail(error, target, "no free name for the new file beside it");
}

bool ReplacementFile::Write(const void* data, size_t bytes, std::string* error) {
  if (descriptor_ < 0) return Fail(error, target_, "no file open");
  const auto* next = static_cast<const char*>(data);
  while (bytes > 0) {
    // Pieces the 32-bit C runtimes take too.
    const unsigned piece = bytes < (1u << 30) ? static_cast<unsigned>(bytes) : (1u << 30);
#ifdef _WIN32
    const int written = _write(descriptor_, next, piece);
#else
    const ssize_t written = ::write(descriptor_, next, piece);
    if (written < 0 && errno == EINTR) continue;
#endif
    if (written <= 0) {
      const int reason = written < 0 ? errno : ENOSPC;
      Discard();
      return Fail(error, target_, SystemReason(reason));
    }
    next += written;
    bytes -= static_cast<size_t>(written);
  }
  return true;
}

bool ReplacementFile::Commit(std::string* error) {
  if (temporary_.empty()) return Fail(error, target_, "no file open");
  const fs::path target = target_;
#ifdef _WIN32
  const bool synced = _commit(descriptor_) == 0;
#else
  const bool synced = fsync(descriptor_) == 0;
#endif
  const int sync_error = errno;
  CloseDescriptor();
  if (!synced) {
    Discard();
    return Fail(error, target, SystemReason(sync_error));
  }
  std::error_code code;
  if (replaces_existing_) {
    // The replacement keeps the replaced file's permissions.
    const fs::file_status status = fs::status(target, code);
    if (!code) fs::permissions(temporary_, status.permissions(), code);
  }
  // The target may have changed since Create: check again just before.
  const fs::file_status now = fs::symlink_status(target, code);
  if (fs::exists(now) && !fs::is_regular_file(now)) {
    Discard();
    return Fail(error, target, "not a regular file");
  }
  std::string reason;
#ifdef _WIN32
  const bool renamed = RenameOver(temporary_, target, &reason);
#else
  const TargetLock lock(target);
  const bool renamed = !lock.held_elsewhere() && RenameOver(temporary_, target, &reason);
  if (lock.held_elsewhere()) reason = "in use by another writer";
#endif
  if (!renamed) {
    Discard();
    return Fail(error, target, reason);
  }
  temporary_.clear();
  return true;
}

void ReplacementFile::CloseDescriptor() {
  if (descriptor_ < 0) return;
#ifdef _WIN32
  _close(descriptor_);
#else
  close(descriptor_);
#endif
  descriptor_ = -1;
}

void ReplacementFile::Discard() {
  CloseDescriptor();
  if (temporary_.empty()) return;
  std::error_code ignored;
  fs::remove(temporary_, ignored);  // only ever the file Create made
  temporary_.clear();
}

bool ReplaceFileContents(const fs::path& target, const void* data, size_t bytes,
                         std::string* error) {
  ReplacementFile file;
  return file.Create(target, error) && file.Write(data, bytes, error) && file.Commit(error);
}

}  // namespace kt::tools
