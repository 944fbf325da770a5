// The system code page off Windows is UTF-8: narrow strings are UTF-8, wide
// strings UTF-16. Both directions measure first and write only when the whole
// result fits, as the Windows conversions report a short buffer.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "platform/text.h"

namespace kt::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Decodes one code point of zero-terminated UTF-8 at `s`, s[0] != 0. Returns the
// bytes consumed. An ill-formed sequence yields U+FFFD and consumes its maximal
// well-formed prefix (at least one byte), the replacement practice that the
// Windows UTF-8 decoder follows. The terminator is never a valid continuation
// byte, so decoding stops at it.
size_t DecodeUtf8(const unsigned char* s, char32_t* code_point) {
  const unsigned char lead = s[0];
  if (lead < 0x80) {
    *code_point = lead;
    return 1;
  }
  int continuation = 0;
  unsigned char second_low = 0x80;
  unsigned char second_high = 0xBF;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuation = 1;
    value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuation = 2;
    value = lead & 0x0Fu;
    if (lead == 0xE0) second_low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) second_high = 0x9F;  // UTF-16 surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuation = 3;
    value = lead & 0x07u;
    if (lead == 0xF0) second_low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) second_high = 0x8F;  // above U+10FFFF
  } else {
    *code_point = kReplacement;
    return 1;
  }
  for (int i = 1; i <= continuation; ++i) {
    const unsigned char byte = s[i];
    const unsigned char low = i == 1 ? second_low : 0x80;
    const unsigned char high = i == 1 ? second_high : 0xBF;
    if (byte < low || byte > high) {
      *code_point = kReplacement;
      return static_cast<size_t>(i);
    }
    value = (value << 6) | (byte & 0x3Fu);
  }
  *code_point = value;
  return static_cast<size_t>(continuation) + 1;
}

// Calls emit(unit) for each UTF-16 unit of `src`, terminator included.
template <typename Emit>
void Utf8ToUtf16(const char* src, Emit emit) {
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  while (*s != 0) {
    char32_t cp = 0;
    s += DecodeUtf8(s, &cp);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      emit(static_cast<char16_t>(0xD800 + (cp >> 10)));
      emit(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      emit(static_cast<char16_t>(cp));
    }
  }
  emit(u'\0');
}

// Calls emit(byte) for each UTF-8 byte of `src`, terminator included. An
// unpaired surrogate is passed to on_unpaired, which returns false to stop.
template <typename Emit, typename OnUnpaired>
bool Utf16ToUtf8(const char16_t* src, Emit emit, OnUnpaired on_unpaired) {
  for (const char16_t* p = src; *p != 0; ++p) {
    char32_t cp = *p;
    if (IsHighSurrogate(*p) && IsLowSurrogate(p[1])) {
      cp = 0x10000 + ((static_cast<char32_t>(*p) - 0xD800) << 10) +
           (static_cast<char32_t>(p[1]) - 0xDC00);
      ++p;
    } else if (IsHighSurrogate(*p) || IsLowSurrogate(*p)) {
      if (!on_unpaired()) return false;
      continue;
    }
    if (cp < 0x80) {
      emit(static_cast<char>(cp));
    } else if (cp < 0x800) {
      emit(static_cast<char>(0xC0 | (cp >> 6)));
      emit(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      emit(static_cast<char>(0xE0 | (cp >> 12)));
      emit(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      emit(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      emit(static_cast<char>(0xF0 | (cp >> 18)));
      emit(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      emit(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      emit(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  emit('\0');
  return true;
}

// Shared shape of both conversions: validate, measure, then write if it fits.
template <typename Char, typename Convert>
int ConvertInto(Char* dst, int dst_size, Convert convert) {
  if (dst_size < 0 || (dst == nullptr && dst_size > 0)) return 0;
  size_t needed = 0;
  convert([&needed](Char) { ++needed; });
  if (needed > static_cast<size_t>(INT_MAX)) return 0;
  if (dst_size == 0) return static_cast<int>(needed);
  if (needed > static_cast<size_t>(dst_size)) return 0;
  Char* out = dst;
  convert([&out](Char c) { *out++ = c; });
  return static_cast<int>(needed);
}

}  // namespace

int NarrowToWide(const char* src, char16_t* dst, int dst_chars) {
  if (src == nullptr) return 0;
  return ConvertInto(dst, dst_chars, [src](auto emit) { Utf8ToUtf16(src, emit); });
}

int WideToNarrow(const char16_t* src, char* dst, int dst_bytes) {
  if (src == nullptr) return 0;
  return ConvertInto(dst, dst_bytes, [src](auto emit) {
    Utf16ToUtf8(src, emit, [&emit] {
      emit('?');
      return true;
    });
  });
}

bool WideToUtf8Strict(const char16_t* src, std::string* out) {
  if (src == nullptr || out == nullptr) return false;
  std::string result;
  const bool ok = Utf16ToUtf8(
      src, [&result](char c) { result.push_back(c); }, [] { return false; });
  if (!ok) return false;
  result.pop_back();  // the terminator; std::string keeps its own
  *out = std::move(result);
  return true;
}

}  // namespace kt::platform
