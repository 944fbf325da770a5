// A file being written, opened by a UTF-8 path on every platform. Writes go
// straight to the system (no buffering of our own), so a failed write is
// seen at once and the file's size is always what reached it.
#ifndef KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_OUTPUT_FILE_H_
#define KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_OUTPUT_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace kt::thermography {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates (or empties) the regular file at `path`. An existing file that is
  // not regular (a directory, a device, a FIFO) is refused and left alone.
  bool Create(const std::string& path);
  bool is_open() const { return fd_ >= 0; }

  // Writes all `size` bytes at the current position, which then follows.
  bool Write(const void* data, std::size_t size);
  // Reads up to `size` bytes at the current position; the count read, or -1.
  std::int64_t Read(void* data, std::size_t size);
  // Moves to `offset`; false if the system refuses.
  bool Seek(std::uint64_t offset);
  std::uint64_t position() const { return position_; }
  // The file's size as written so far.
  std::uint64_t size() const { return size_; }
  // Cuts the file back to `size` bytes (never grows it).
  bool Truncate(std::uint64_t size);

  // Closes the file; false if the system reported a failure on closing.
  bool Close();
  // Closes the file (if open) and deletes it: for files that failed.
  void CloseAndRemove();

 private:
  int fd_ = -1;
  std::string path_;
  std::uint64_t position_ = 0;
  std::uint64_t size_ = 0;
};

}  // namespace kt::thermography

#endif  // KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_OUTPUT_FILE_H_
