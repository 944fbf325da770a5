// Files the tools write are written beside their target under a new name and
// renamed over the target only once complete, so a failed write (a full disk,
// a refused encoder) leaves the previous file as it was. Targets that exist
// and are not regular files (directories, FIFOs, devices such as /dev/full)
// are refused before anything is created, a target another writer holds (the
// SDK's exclusive lock, a recording in progress) is not replaced, and nothing
// but the new file this object created is ever removed.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace kt::tools {

class ReplacementFile {
 public:
  ReplacementFile() = default;
  // Removes the new file unless Commit renamed it into place.
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Checks `target` and creates the new, empty file beside it. A symbolic
  // link is followed: the file it names is the one replaced. False, with the
  // reason in `error` and nothing created, for a target that is not a regular
  // file, a link to nothing, or a folder the new file cannot be made in.
  bool Create(const std::filesystem::path& target, std::string* error);

  // The new file's name, for writers that open it themselves (the SDK's
  // saves); empty before Create.
  const std::filesystem::path& temporary_path() const { return temporary_; }

  // Appends `bytes` bytes to the new file. False, with the reason, when the
  // system takes fewer.
  bool Write(const void* data, size_t bytes, std::string* error);

  // Makes the new file durable, gives it the replaced file's permissions and
  // renames it over the target. False, with the reason, when any step fails
  // or another writer holds the target; the new file is then removed.
  bool Commit(std::string* error);

 private:
  void CloseDescriptor();
  void Discard();

  std::filesystem::path target_;     // the file to replace, links followed
  std::filesystem::path temporary_;  // the new file, or empty
  int descriptor_ = -1;              // open on the new file until Commit
  bool replaces_existing_ = false;   // the target existed at Create
};

// Writes `bytes` to `target` through a ReplacementFile: the target is either
// the complete new file or left as it was. False with the reason in `error`.
bool ReplaceFileContents(const std::filesystem::path& target, const void* data, size_t bytes,
                         std::string* error);

}  // namespace kt::tools
