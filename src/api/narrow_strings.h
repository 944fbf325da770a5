// Narrow (system code page) string arguments of the A exports, converted to the
// UTF-16 that the W operations take.
#pragma once

#include <vector>

namespace kt {

// The wide copy of one narrow argument, alive for the length of one call. A
// null narrow string stays null, so the W operation fails as it does for null.
class WideArgument {
 public:
  explicit WideArgument(const char* narrow);
  const char16_t* get() const { return is_null_ ? nullptr : buffer_.data(); }

 private:
  bool is_null_ = true;
  std::vector<char16_t> buffer_;
};

}  // namespace kt
