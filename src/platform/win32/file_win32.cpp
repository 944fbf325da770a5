// Files through Win32 handles. The handle given out is the system's own, so an
// owner holding it holds exactly what CreateFileW returned.
#include <windows.h>

#include "platform/file.h"

namespace kt::platform {
namespace {

HANDLE ToNative(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

DWORD Disposition(FileDisposition disposition) {
  switch (disposition) {
    case FileDisposition::kWriteTruncateExisting:
      return TRUNCATE_EXISTING;
    case FileDisposition::kWriteCreateNew:
      return CREATE_NEW;
    case FileDisposition::kReadExisting:
      return OPEN_EXISTING;
  }
  return 0;
}

}  // namespace

FileHandle FileOpen(const char16_t* path, FileDisposition disposition) {
  if (path == nullptr || path[0] == u'\0') return nullptr;
  const DWORD access = disposition == FileDisposition::kReadExisting ? GENERIC_READ : GENERIC_WRITE;
  const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t*>(path), access, 0, nullptr,
                                    Disposition(disposition), FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return nullptr;
  // Only disk files: a pipe, a console or a device name (NUL, COM1) would
  // block or swallow writes in ways no caller expects from a file.
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    return nullptr;
  }
  return reinterpret_cast<FileHandle>(handle);
}

void FileClose(FileHandle file) {
  if (file != nullptr) CloseHandle(ToNative(file));
}

bool FileSize(FileHandle file, uint64_t* size) {
  if (file == nullptr || size == nullptr) return false;
  LARGE_INTEGER value{};
  if (!GetFileSizeEx(ToNative(file), &value) || value.QuadPart < 0) return false;
  *size = static_cast<uint64_t>(value.QuadPart);
  return true;
}

bool FileWrite(FileHandle file, const void* data, uint32_t bytes, uint32_t* written) {
  if (written != nullptr) *written = 0;
  if (file == nullptr || (data == nullptr && bytes > 0)) return false;
  DWORD done = 0;
  const BOOL ok = WriteFile(ToNative(file), data, bytes, &done, nullptr);
  if (written != nullptr) *written = done;
  return ok != FALSE && done == bytes;
}

bool FileRead(FileHandle file, void* buffer, uint32_t bytes, uint32_t* read) {
  if (read != nullptr) *read = 0;
  if (file == nullptr || (buffer == nullptr && bytes > 0)) return false;
  DWORD done = 0;
  const BOOL ok = ReadFile(ToNative(file), buffer, bytes, &done, nullptr);
  if (read != nullptr) *read = done;
  return ok != FALSE;
}

bool FileSeek(FileHandle file, int64_t distance, SeekOrigin origin, uint64_t* position) {
  if (file == nullptr) return false;
  DWORD method = FILE_BEGIN;
  if (origin == SeekOrigin::kCurrent) method = FILE_CURRENT;
  if (origin == SeekOrigin::kEnd) method = FILE_END;
  LARGE_INTEGER move{};
  move.QuadPart = distance;
  LARGE_INTEGER result{};
  if (!SetFilePointerEx(ToNative(file), move, &result, method)) return false;
  if (position != nullptr) *position = static_cast<uint64_t>(result.QuadPart);
  return true;
}

bool FileTruncate(FileHandle file) {
  return file != nullptr && SetEndOfFile(ToNative(file)) != FALSE;
}

}  // namespace kt::platform
