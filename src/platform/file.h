// Native file handles: the operating system's files behind CSdkFile. Paths are
// zero-terminated UTF-16. Every function accepts a null handle and fails on it.
#pragma once

#include <cstdint>

namespace kt::platform {

// An open file: the Windows file handle itself, elsewhere a descriptor in
// disguise. Opaque; null means no file.
struct NativeFile;
using FileHandle = NativeFile*;

enum class FileDisposition {
  kWriteTruncateExisting,  // write access; fails when the file does not exist
  kWriteCreateNew,         // write access; fails when the file exists
  kReadExisting,           // read access; fails when the file does not exist
};

enum class SeekOrigin { kBegin, kCurrent, kEnd };

// Opens `path` without sharing: while the handle is open, another open of the
// same file fails (off Windows this is an advisory lock that every open made
// through here honours; a truncating open checks it before truncating).
// Returns null for a null or empty path, a path that is not valid UTF-16,
// anything but a regular file (a directory, FIFO, socket or device), or any
// refusal by the system.
FileHandle FileOpen(const char16_t* path, FileDisposition disposition);

// Closes the handle; null is ignored.
void FileClose(FileHandle file);

// The file's full size in bytes.
bool FileSize(FileHandle file, uint64_t* size);

// Writes `bytes` bytes at the current position. Returns true when all were
// written; `*written` (may be null) receives the count written either way.
bool FileWrite(FileHandle file, const void* data, uint32_t bytes, uint32_t* written);

// Reads up to `bytes` bytes from the current position; fewer only at the end of
// the file. Returns false on an error; `*read` (may be null) receives the count.
bool FileRead(FileHandle file, void* buffer, uint32_t bytes, uint32_t* read);

// Moves the position by `distance` from `origin`; `*position` (may be null)
// receives the new absolute position. A position before the start fails.
bool FileSeek(FileHandle file, int64_t distance, SeekOrigin origin, uint64_t* position);

// Makes the current position the end of the file, discarding every byte past
// it (or extending the file with zeros when the position lies beyond the end).
// The position itself does not move.
bool FileTruncate(FileHandle file);

}  // namespace kt::platform
