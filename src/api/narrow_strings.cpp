#include "api/narrow_strings.h"

#include <climits>
#include <cstring>

#include "platform/text.h"

namespace kt {

WideArgument::WideArgument(const char* narrow) {
  if (narrow == nullptr) return;
  is_null_ = false;
  // L + 1 zeroed wide characters: enough for every code page, since no
  // character takes fewer than one byte. A failed conversion leaves the string
  // empty, as the system conversion does.
  const size_t length = std::strlen(narrow);
  if (length >= static_cast<size_t>(INT_MAX)) {
    buffer_.assign(1, u'\0');  // beyond any conversion: passed on empty
    return;
  }
  buffer_.assign(length + 1, u'\0');
  platform::NarrowToWide(narrow, buffer_.data(), static_cast<int>(length + 1));
}

}  // namespace kt
