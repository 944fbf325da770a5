// C runtime streams opened by a wide (UTF-16) name, for the image libraries
// that write through a FILE*.
#pragma once

#include <cstdio>

namespace kt::platform {

// Opens `path` with the C runtime in `mode` ("wb", "rb", ...): _wfopen on
// Windows, the name converted to UTF-8 and fopen elsewhere. Null for a missing
// or empty name or mode, a name that is not well-formed UTF-16, or a failed
// open. The caller closes the stream with std::fclose.
std::FILE* OpenCFile(const char16_t* path, const char* mode);

}  // namespace kt::platform
