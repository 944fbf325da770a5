// What the tool wrote: file sizes, the numbered files of a split recording,
// and the frame count an AVI file's header carries.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kt::cli {

// Size of a file in bytes, or nothing when it does not exist.
std::optional<uintmax_t> FileSize(const std::filesystem::path& path);

// "331830 bytes (324.1 KiB)".
std::string DescribeSize(uintmax_t bytes);

// The name of split file `index` of a recording: index 0 is `path` itself,
// index k > 0 is "<stem>_<k><extension>" beside it.
std::filesystem::path SplitFileName(const std::filesystem::path& path, int index);

// `path` with "_<n>" before its extension, n zero-padded to the width of `count`
// ("snap.png", 3 of 12 -> "snap_03.png").
std::filesystem::path NumberedFileName(const std::filesystem::path& path, int n, int count);

// The files of a recording to `path` written since `since`: `path`, then
// "_1", "_2", ... while they exist.
std::vector<std::filesystem::path> RecordingFiles(const std::filesystem::path& path,
                                                  std::filesystem::file_time_type since);

// The total-frames field of an AVI file's main header; nothing when the file
// is not an AVI file with a main header.
std::optional<uint32_t> AviFrameCount(const std::filesystem::path& path);

}  // namespace kt::cli
