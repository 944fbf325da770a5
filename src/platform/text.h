// Conversion between the library's narrow strings (the system code page) and its
// wide strings (UTF-16). On Windows the system code page is the ANSI code page;
// elsewhere it is UTF-8.
#pragma once

#include <string>

namespace kt::platform {

// Converts the zero-terminated narrow string `src`, terminator included, into
// `dst`, which holds `dst_chars` UTF-16 units; behaves as
// MultiByteToWideChar(CP_ACP, 0, src, -1, dst, dst_chars). Returns the units
// written including the terminator. With `dst_chars` 0 nothing is written and
// the units needed are returned. Returns 0 for a null `src`, a negative size, a
// null `dst` with a positive size, or a `dst` too small (its contents are then
// unspecified). Off Windows, each ill-formed UTF-8 sequence becomes U+FFFD.
int NarrowToWide(const char* src, char16_t* dst, int dst_chars);

// The reverse: behaves as WideCharToMultiByte(CP_ACP, 0, src, -1, dst,
// dst_bytes, nullptr, nullptr), with the same results as NarrowToWide counted
// in bytes. Off Windows, an unpaired surrogate becomes '?'.
int WideToNarrow(const char16_t* src, char* dst, int dst_bytes);

// Converts zero-terminated UTF-16 to UTF-8 (whatever the system code page) for
// handing paths to the file system. Fails, leaving `out` unchanged, for null
// arguments or an unpaired surrogate, so a malformed name never reaches the
// file system as some other name. Running out of memory throws std::bad_alloc
// rather than failing: the caller's boundary reports it as such (code 6), not
// as a file that cannot be opened.
bool WideToUtf8Strict(const char16_t* src, std::string* out);

}  // namespace kt::platform
