// Reads a video file with ffprobe, an AVI reader that owes nothing to our
// writer. Tests skip (with the reason) when ffprobe is not installed;
// scripts/install-deps.sh installs it for CI.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

namespace kt::test {

// What ffprobe reports for the first video stream.
struct ProbedVideo {
  std::string codec;         // codec_name, "rawvideo" for uncompressed frames
  std::string pixel_format;  // pix_fmt, "bgr24" for 24-bit DIB frames
  int width = 0;
  int height = 0;
  long frames = -1;        // frames actually decoded (-count_frames)
  std::string complaints;  // what ffprobe reported as errors; empty for a sound file
};

#ifndef _WIN32
namespace ffprobe_detail {

inline std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// Runs `command` and returns what it printed, or false when it failed.
inline bool Run(const std::string& command, std::string* output) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  char buffer[512];
  output->clear();
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output->append(buffer, n);
  return pclose(pipe) == 0;
}

}  // namespace ffprobe_detail

inline bool FfprobeAvailable() {
  std::string ignored;
  return ffprobe_detail::Run("ffprobe -version >/dev/null 2>&1", &ignored);
}

// False when ffprobe cannot read the file as video; `*error` then says why.
inline bool ProbeVideo(const std::filesystem::path& file, ProbedVideo* video, std::string* error) {
  const std::string command =
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=codec_name,pix_fmt,width,height,nb_read_frames -of default=noprint_wrappers=1 " +
      ffprobe_detail::ShellQuoted(file.string()) + " 2>&1";
  std::string output;
  const bool ran = ffprobe_detail::Run(command, &output);
  std::map<std::string, std::string> fields;
  std::string complaints;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) {
      fields[line.substr(0, equals)] = line.substr(equals + 1);
    } else if (!line.empty()) {
      complaints += line + "\n";
    }
  }
  if (!ran || fields.count("nb_read_frames") == 0) {
    *error = "ffprobe could not read " + file.string() + ": " + output;
    return false;
  }
  *video = {};
  video->complaints = complaints;
  video->codec = fields["codec_name"];
  video->pixel_format = fields["pix_fmt"];
  video->width = std::atoi(fields["width"].c_str());
  video->height = std::atoi(fields["height"].c_str());
  video->frames = std::atol(fields["nb_read_frames"].c_str());
  return true;
}
#else
inline bool FfprobeAvailable() { return false; }
inline bool ProbeVideo(const std::filesystem::path&, ProbedVideo*, std::string* error) {
  *error = "ffprobe is not run on Windows";
  return false;
}
#endif

}  // namespace kt::test
