// Narrow strings are in the ANSI code page; the system converts them.
#include <windows.h>

#include <new>
#include <utility>

#include "platform/text.h"

namespace kt::platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16");

int NarrowToWide(const char* src, char16_t* dst, int dst_chars) {
  // The system would report these as invalid parameters too; checking first
  // keeps a null pointer away from it altogether.
  if (src == nullptr || dst_chars < 0 || (dst == nullptr && dst_chars > 0)) return 0;
  return MultiByteToWideChar(CP_ACP, 0, src, -1, reinterpret_cast<wchar_t*>(dst), dst_chars);
}

int WideToNarrow(const char16_t* src, char* dst, int dst_bytes) {
  if (src == nullptr || dst_bytes < 0 || (dst == nullptr && dst_bytes > 0)) return 0;
  return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(src), -1, dst, dst_bytes,
                             nullptr, nullptr);
}

bool WideToUtf8Strict(const char16_t* src, std::string* out) {
  if (src == nullptr || out == nullptr) return false;
  const auto* wide = reinterpret_cast<const wchar_t*>(src);
  const int needed =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return false;
  std::string result(static_cast<size_t>(needed), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, result.data(), needed, nullptr,
                          nullptr) != needed) {
    return false;
  }
  result.pop_back();  // the terminator; std::string keeps its own
  *out = std::move(result);
  return true;
}

}  // namespace kt::platform
