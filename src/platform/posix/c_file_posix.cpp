// The file system takes UTF-8 names here; a malformed wide name is refused
// rather than opened as some other name.
#include <string>

#include "platform/c_file.h"
#include "platform/text.h"

namespace kt::platform {

std::FILE* OpenCFile(const char16_t* path, const char* mode) {
  if (path == nullptr || path[0] == u'\0' || mode == nullptr || mode[0] == '\0') return nullptr;
  std::string name;
  if (!WideToUtf8Strict(path, &name)) return nullptr;
  return std::fopen(name.c_str(), mode);
}

}  // namespace kt::platform
