#include "output/recording_names.h"

namespace kt {

PathParts SplitPath(const std::u16string& path) {
  PathParts parts;
  size_t rest = 0;
  if (path.size() >= 2 && path[1] == u':') {
    parts.drive = path.substr(0, 2);
    rest = 2;
  }
  const size_t last_separator = path.find_last_of(u"\\/");
  size_t name_start = rest;
  if (last_separator != std::u16string::npos && last_separator >= rest) {
    parts.directory = path.substr(rest, last_separator + 1 - rest);
    name_start = last_separator + 1;
  }
  const std::u16string file = path.substr(name_start);
  const size_t dot = file.find_last_of(u'.');
  if (dot == std::u16string::npos) {
    parts.name = file;
  } else {
    parts.name = file.substr(0, dot);
    parts.extension = file.substr(dot);
  }
  return parts;
}

std::u16string NumberedRecordingName(const std::u16string& path, int index) {
  const PathParts parts = SplitPath(path);
  std::u16string number;
  for (const char c : std::to_string(index)) number.push_back(static_cast<char16_t>(c));
  return parts.drive + parts.directory + parts.name + u"_" + number + parts.extension;
}

}  // namespace kt
