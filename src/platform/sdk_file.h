// CSdkFile: the file access that every file-touching part of the library uses.
// It holds either one open file (for writing) or one whole file read into
// memory, never both; it buffers nothing and moves the file position only when
// its owner asks. Not thread-safe: an owner sharing it serialises the calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/file.h"

namespace kt {

class CSdkFile {
 public:
  CSdkFile() = default;
  ~CSdkFile() { Close(); }
  CSdkFile(const CSdkFile&) = delete;
  CSdkFile& operator=(const CSdkFile&) = delete;

  // Closes whatever is held, then opens `path` for writing: an existing file
  // is truncated, a missing one created. Measures the size (0 after the
  // truncation; a failed measurement leaves the file open with size 0).
  // Returns the handle, or null with nothing open.
  platform::FileHandle OpenWrite(const char16_t* path);

  // Closes whatever is held, then reads the whole file at `path` into an owned
  // buffer and closes the file again. Returns the data (non-null even for an
  // empty file), or null with nothing held when the file cannot be opened or
  // measured, is 4 GiB or larger (the size field could not describe it), the
  // buffer cannot be allocated, or fewer bytes arrive than were measured.
  const uint8_t* LoadAll(const char16_t* path);

  // Closes whatever is held, then opens `path` for reading and measures it
  // into size(), for owners that read only the parts they need. Returns the
  // handle, or null with nothing open.
  platform::FileHandle OpenRead(const char16_t* path);

  // Re-measures the open file into size(): the low 32 bits of its length.
  // False, leaving size() as it was, when no file is open or the query fails.
  bool QuerySize();

  // One write of `bytes` bytes at the current position. False when no file is
  // open or the system write fails.
  bool Write(const void* data, uint32_t bytes);
  // The same for any count (the image libraries hand over size_t counts),
  // split into writes the system takes.
  bool WriteAll(const void* data, size_t bytes);

  // Reads exactly `bytes` bytes at the current position. False when no file
  // is open, the read fails or the file ends first.
  bool Read(void* buffer, uint32_t bytes);

  // Moves the position of the open file, for owners that patch what they wrote
  // earlier (AVI headers) or take back a write the disk refused. False when no
  // file is open or the move fails. 64-bit: raw recordings outgrow 4 GiB.
  bool Seek(uint64_t offset);
  bool SeekToEnd();
  // The current position; false when no file is open or the query fails.
  bool Tell(uint64_t* position);

  // Ends the open file at the current position, discarding whatever lies past
  // it (the partial frame a full disk left behind). The position stays; size()
  // is re-measured. False when no file is open or the system refuses.
  bool Truncate();

  // Releases everything; the object is as fresh afterwards. Idempotent.
  void Close();

  platform::FileHandle handle() const { return file_; }
  const uint8_t* data() const { return data_; }
  uint32_t size() const { return size_; }

 private:
  // Fields in the order the class has always had. Owned by whichever thread
  // the owner uses the object on; the class itself takes no lock.
  platform::FileHandle file_ = nullptr;  // open file, or null
  std::unique_ptr<uint8_t[]> buffer_;    // whole file read by LoadAll, or null
  const uint8_t* data_ = nullptr;        // first loaded byte (in buffer_), or null
  uint32_t size_ = 0;                    // low 32 bits of the measured size
};

}  // namespace kt
