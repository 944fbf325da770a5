// The C runtime's wide open takes the UTF-16 name as it is.
#include <stdio.h>
#include <wchar.h>

#include <string>

#include "platform/c_file.h"

namespace kt::platform {

std::FILE* OpenCFile(const char16_t* path, const char* mode) {
  if (path == nullptr || path[0] == u'\0' || mode == nullptr || mode[0] == '\0') return nullptr;
  // _wfopen wants the mode wide as well; modes are plain ASCII.
  std::wstring wide_mode;
  for (const char* m = mode; *m != '\0'; ++m) wide_mode.push_back(static_cast<wchar_t>(*m));
  return _wfopen(reinterpret_cast<const wchar_t*>(path), wide_mode.c_str());
}

}  // namespace kt::platform
