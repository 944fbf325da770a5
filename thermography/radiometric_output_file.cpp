// Plain descriptors on both platforms: POSIX calls off Windows, the CRT's
// wide-path equivalents on Windows (the UTF-8 path converted to UTF-16).
#include "radiometric_output_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kt::thermography {
namespace {

// The largest piece handed to one system write (its count is an int on
// Windows).
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

#ifdef _WIN32
std::wstring WidePath(const std::string& path) {
  if (path.size() > INT_MAX) return {};
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                         static_cast<int>(path.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                      wide.data(), length);
  return wide;
}

int OpenForWriting(const std::string& path) {
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return -1;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return -1;
  }
  int fd = -1;
  if (_wsopen_s(&fd, wide.c_str(), _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                _SH_DENYWR, _S_IREAD | _S_IWRITE) != 0) {
    return -1;
  }
  if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != FILE_TYPE_DISK) {
    _close(fd);
    return -1;
  }
  return fd;
}
bool SeekTo(int fd, std::uint64_t offset) {
  return _lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) >= 0;
}
long long WriteSome(int fd, const void* data, std::size_t size) {
  return _write(fd, data, static_cast<unsigned>(size));
}
long long ReadSome(int fd, void* data, std::size_t size) {
  return _read(fd, data, static_cast<unsigned>(size));
}
bool TruncateTo(int fd, std::uint64_t size) {
  return _chsize_s(fd, static_cast<__int64>(size)) == 0;
}
bool CloseFd(int fd) { return _close(fd) == 0; }
void RemovePath(const std::string& path) {
  const std::wstring wide = WidePath(path);
  if (!wide.empty()) _wunlink(wide.c_str());
}
#else
int OpenForWriting(const std::string& path) {
  // Checked before opening too, so that an existing device or FIFO is never
  // truncated or blocked on; the descriptor's own check closes the race.
  struct stat before {};
  if (::stat(path.c_str(), &before) == 0 && !S_ISREG(before.st_mode)) return -1;
  // An existing regular file is replaced by a new one rather than truncated:
  // file systems that guard truncate-and-rewrite (ext4's auto_da_alloc) push
  // the new data to the disk on close, which made overwriting a frame's TIFF
  // eight times slower than writing a new one. A symbolic link is written
  // through, and a file that cannot be unlinked is truncated as before.
  struct stat link {};
  if (::lstat(path.c_str(), &link) == 0 && S_ISREG(link.st_mode)) ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) return -1;
  struct stat opened {};
  if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}
bool SeekTo(int fd, std::uint64_t offset) {
  return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}
long long WriteSome(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }
long long ReadSome(int fd, void* data, std::size_t size) { return ::read(fd, data, size); }
bool TruncateTo(int fd, std::uint64_t size) {
  return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}
bool CloseFd(int fd) { return ::close(fd) == 0; }
void RemovePath(const std::string& path) { ::unlink(path.c_str()); }
#endif

}  // namespace

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Create(const std::string& path) {
  if (fd_ >= 0 || path.empty() || path.find('\0') != std::string::npos) return false;
  fd_ = OpenForWriting(path);
  if (fd_ < 0) return false;
  path_ = path;
  position_ = 0;
  size_ = 0;
  return true;
}

bool OutputFile::Write(const void* data, std::size_t size) {
  if (fd_ < 0) return false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const long long written = WriteSome(fd_, bytes, std::min(size, kMaxChunk));
    // A short write means the disk is full: the next write reports why, but
    // there is nothing to gain from trying.
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
    position_ += static_cast<std::uint64_t>(written);
    size_ = std::max(size_, position_);
  }
  return true;
}

std::int64_t OutputFile::Read(void* data, std::size_t size) {
  if (fd_ < 0) return -1;
  const long long read = ReadSome(fd_, data, std::min(size, kMaxChunk));
  if (read < 0) return -1;
  position_ += static_cast<std::uint64_t>(read);
  return read;
}

bool OutputFile::Seek(std::uint64_t offset) {
  if (fd_ < 0 || offset > static_cast<std::uint64_t>(INT64_MAX) || !SeekTo(fd_, offset)) {
    return false;
  }
  position_ = offset;
  return true;
}

bool OutputFile::Truncate(std::uint64_t size) {
  if (fd_ < 0 || size > size_ || !TruncateTo(fd_, size)) return false;
  size_ = size;
  return true;
}

bool OutputFile::Close() {
  if (fd_ < 0) return true;
  const bool closed = CloseFd(fd_);
  fd_ = -1;
  return closed;
}

void OutputFile::CloseAndRemove() {
  if (path_.empty()) return;
  Close();
  RemovePath(path_);
  path_.clear();
}

}  // namespace kt::thermography
