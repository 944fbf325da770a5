// Names of the numbered files a long recording is split into: the path's
// drive, directory, file name and extension (split as the Windows C runtime's
// wide path split does), formatted as "%s%s%s_%d%s".
#pragma once

#include <string>

namespace kt {

struct PathParts {
  std::u16string drive;      // "C:" or empty
  std::u16string directory;  // up to and including the last '\' or '/'
  std::u16string name;       // the file name without its extension
  std::u16string extension;  // from the last '.' of the file name, or empty
};

PathParts SplitPath(const std::u16string& path);

// The name of split file `index` (1, 2, ...): "C:\a\b.avi" -> "C:\a\b_1.avi".
std::u16string NumberedRecordingName(const std::u16string& path, int index);

}  // namespace kt
