// Files through POSIX descriptors. The Windows dispositions and the exclusive
// (no sharing) open are reproduced so that the library behaves the same on
// both systems: "truncate existing" never creates, "create new" never
// replaces, and a file already open through here cannot be opened again.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <string>

#include "platform/file.h"
#include "platform/text.h"

namespace kt::platform {
namespace {

// The handle carries descriptor + 1, so that descriptor 0 is not null. It is
// never dereferenced.
FileHandle ToHandle(int fd) {
  return reinterpret_cast<FileHandle>(static_cast<uintptr_t>(fd) + 1u);
}

int ToDescriptor(FileHandle file) {
  const auto value = reinterpret_cast<uintptr_t>(file);
  if (value == 0 || value - 1u > static_cast<uintptr_t>(INT_MAX)) return -1;
  return static_cast<int>(value - 1u);
}

void CloseDescriptor(int fd) {
  // Linux releases the descriptor even when close reports EINTR; retrying could
  // close a descriptor that another thread has just been given.
  (void)close(fd);
}

int OpenFlags(FileDisposition disposition) {
  // O_NONBLOCK only guards the open itself: a FIFO would otherwise block it.
  const int common = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  switch (disposition) {
    case FileDisposition::kWriteTruncateExisting:
      // No O_TRUNC: the file is truncated only once the exclusive lock is held.
      return common | O_WRONLY;
    case FileDisposition::kWriteCreateNew:
      return common | O_WRONLY | O_CREAT | O_EXCL;
    case FileDisposition::kReadExisting:
      return common | O_RDONLY;
  }
  return -1;
}

// Takes the whole-file lock that stands in for "no sharing". A file system
// without lock support still opens the file, as the lock is only advisory.
bool LockExclusively(int fd) {
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  return errno != EWOULDBLOCK;
}

// Checks and prepares a freshly opened descriptor.
bool PrepareOpened(int fd, FileDisposition disposition) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return false;
  // Only regular files are saved to or loaded from: a FIFO would block every
  // write, and a device (/dev/full, /dev/null) swallows or refuses data in ways
  // no caller expects from a file.
  if (!S_ISREG(info.st_mode)) return false;
  const int status = fcntl(fd, F_GETFL);
  if (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) return false;
  if (!LockExclusively(fd)) return false;
  if (disposition == FileDisposition::kWriteTruncateExisting) {
    int rc = 0;
    do {
      rc = ftruncate(fd, 0);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return false;
  }
  return true;
}

}  // namespace

FileHandle FileOpen(const char16_t* path, FileDisposition disposition) {
  if (path == nullptr || path[0] == u'\0') return nullptr;
  std::string utf8;
  if (!WideToUtf8Strict(path, &utf8)) return nullptr;
  const int flags = OpenFlags(disposition);
  if (flags < 0) return nullptr;
  int fd = -1;
  do {
    fd = open(utf8.c_str(), flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  if (!PrepareOpened(fd, disposition)) {
    CloseDescriptor(fd);
    return nullptr;
  }
  return ToHandle(fd);
}

void FileClose(FileHandle file) {
  const int fd = ToDescriptor(file);
  if (fd >= 0) CloseDescriptor(fd);
}

bool FileSize(FileHandle file, uint64_t* size) {
  const int fd = ToDescriptor(file);
  if (fd < 0 || size == nullptr) return false;
  struct stat info {};
  if (fstat(fd, &info) != 0 || info.st_size < 0) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

bool FileWrite(FileHandle file, const void* data, uint32_t bytes, uint32_t* written) {
  if (written != nullptr) *written = 0;
  const int fd = ToDescriptor(file);
  if (fd < 0 || (data == nullptr && bytes > 0)) return false;
  const auto* next = static_cast<const unsigned char*>(data);
  uint32_t done = 0;
  // write() may take less than asked (signals, large counts): go on until done.
  while (done < bytes) {
    const ssize_t n = write(fd, next + done, bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<uint32_t>(n);
  }
  if (written != nullptr) *written = done;
  return done == bytes;
}

bool FileRead(FileHandle file, void* buffer, uint32_t bytes, uint32_t* read_bytes) {
  if (read_bytes != nullptr) *read_bytes = 0;
  const int fd = ToDescriptor(file);
  if (fd < 0 || (buffer == nullptr && bytes > 0)) return false;
  auto* next = static_cast<unsigned char*>(buffer);
  uint32_t done = 0;
  bool ok = true;
  while (done < bytes) {
    const ssize_t n = read(fd, next + done, bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;  // an error, or the end of the file
    done += static_cast<uint32_t>(n);
  }
  if (read_bytes != nullptr) *read_bytes = done;
  return ok;
}

bool FileSeek(FileHandle file, int64_t distance, SeekOrigin origin, uint64_t* position) {
  const int fd = ToDescriptor(file);
  if (fd < 0) return false;
  static_assert(sizeof(off_t) >= sizeof(int64_t), "64-bit file offsets are required");
  int whence = SEEK_SET;
  if (origin == SeekOrigin::kCurrent) whence = SEEK_CUR;
  if (origin == SeekOrigin::kEnd) whence = SEEK_END;
  const off_t result = lseek(fd, static_cast<off_t>(distance), whence);
  if (result < 0) return false;
  if (position != nullptr) *position = static_cast<uint64_t>(result);
  return true;
}

bool FileTruncate(FileHandle file) {
  const int fd = ToDescriptor(file);
  if (fd < 0) return false;
  const off_t end = lseek(fd, 0, SEEK_CUR);
  if (end < 0) return false;
  int rc = 0;
  do {
    rc = ftruncate(fd, end);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

}  // namespace kt::platform
