#include "platform/sdk_file.h"

#include <cstdint>
#include <new>

namespace kt {

platform::FileHandle CSdkFile::OpenWrite(const char16_t* path) {
  Close();
  file_ = platform::FileOpen(path, platform::FileDisposition::kWriteTruncateExisting);
  if (file_ == nullptr) {
    file_ = platform::FileOpen(path, platform::FileDisposition::kWriteCreateNew);
  }
  if (file_ == nullptr) return nullptr;
  (void)QuerySize();  // a failed measurement keeps the file open, size 0
  return file_;
}

const uint8_t* CSdkFile::LoadAll(const char16_t* path) {
  Close();
  file_ = platform::FileOpen(path, platform::FileDisposition::kReadExisting);
  if (file_ == nullptr) return nullptr;
  uint64_t full_size = 0;
  if (!platform::FileSize(file_, &full_size) || full_size > UINT32_MAX) {
    Close();
    return nullptr;
  }
  size_ = static_cast<uint32_t>(full_size);
  // One byte at least, so that an empty file still yields a non-null pointer.
  buffer_.reset(new (std::nothrow) uint8_t[size_ == 0 ? 1 : size_]);
  uint32_t read = 0;
  if (!buffer_ || !platform::FileRead(file_, buffer_.get(), size_, &read) || read != size_) {
    Close();
    return nullptr;
  }
  platform::FileClose(file_);
  file_ = nullptr;
  data_ = buffer_.get();
  return data_;
}

platform::FileHandle CSdkFile::OpenRead(const char16_t* path) {
  Close();
  file_ = platform::FileOpen(path, platform::FileDisposition::kReadExisting);
  if (file_ == nullptr) return nullptr;
  (void)QuerySize();
  return file_;
}

bool CSdkFile::QuerySize() {
  uint64_t full_size = 0;
  if (file_ == nullptr || !platform::FileSize(file_, &full_size)) return false;
  size_ = static_cast<uint32_t>(full_size);  // the low half, as the system reports it
  return true;
}

bool CSdkFile::Write(const void* data, uint32_t bytes) {
  if (file_ == nullptr) return false;
  return platform::FileWrite(file_, data, bytes, nullptr);
}

bool CSdkFile::WriteAll(const void* data, size_t bytes) {
  if (file_ == nullptr || (data == nullptr && bytes > 0)) return false;
  // Pieces of 1 GiB: well inside what one system write takes on either system.
  constexpr size_t kPiece = size_t{1} << 30;
  const auto* next = static_cast<const uint8_t*>(data);
  while (bytes > 0) {
    const size_t piece = bytes < kPiece ? bytes : kPiece;
    if (!platform::FileWrite(file_, next, static_cast<uint32_t>(piece), nullptr)) return false;
    next += piece;
    bytes -= piece;
  }
  return true;
}

bool CSdkFile::Read(void* buffer, uint32_t bytes) {
  uint32_t read = 0;
  return file_ != nullptr && platform::FileRead(file_, buffer, bytes, &read) && read == bytes;
}

bool CSdkFile::Seek(uint64_t offset) {
  if (file_ == nullptr || offset > static_cast<uint64_t>(INT64_MAX)) return false;
  return platform::FileSeek(file_, static_cast<int64_t>(offset), platform::SeekOrigin::kBegin,
                            nullptr);
}

bool CSdkFile::SeekToEnd() {
  return file_ != nullptr && platform::FileSeek(file_, 0, platform::SeekOrigin::kEnd, nullptr);
}

bool CSdkFile::Tell(uint64_t* position) {
  return file_ != nullptr && position != nullptr &&
         platform::FileSeek(file_, 0, platform::SeekOrigin::kCurrent, position);
}

bool CSdkFile::Truncate() {
  if (file_ == nullptr || !platform::FileTruncate(file_)) return false;
  (void)QuerySize();
  return true;
}

void CSdkFile::Close() {
  size_ = 0;
  data_ = nullptr;
  buffer_.reset();
  platform::FileClose(file_);
  file_ = nullptr;
}

}  // namespace kt
