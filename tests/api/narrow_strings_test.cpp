#include "api/narrow_strings.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kt {
namespace {

TEST(WideArgumentTest, NullStaysNull) {
  const WideArgument wide(nullptr);
  EXPECT_EQ(nullptr, wide.get());
}

TEST(WideArgumentTest, EmptyAndAsciiStrings) {
  const WideArgument empty("");
  ASSERT_NE(nullptr, empty.get());
  EXPECT_EQ(u"", std::u16string(empty.get()));
  const WideArgument ascii("C:\\data\\table.bin");
  EXPECT_EQ(u"C:\\data\\table.bin", std::u16string(ascii.get()));
}

TEST(WideArgumentTest, NonAsciiGoesThroughTheSystemCodePage) {
#ifdef _WIN32
  // Whatever the ANSI code page is, the byte 0xE9 converts as the system says.
  const char narrow[] = "caf\xE9.bmp";
  wchar_t expected[16] = {};
  ASSERT_NE(0, MultiByteToWideChar(CP_ACP, 0, narrow, -1, expected, 16));
  const WideArgument wide(narrow);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(expected)),
            std::u16string(wide.get()));
#else
  // Off Windows the system code page is UTF-8.
  const WideArgument wide(
      "Gr\xC3\xBC\xC3\x9F"
      "e-\xE6\xB8\xA9\xE5\xBA\xA6.tif");
  EXPECT_EQ(u"Grüße-温度.tif", std::u16string(wide.get()));
#endif
}

}  // namespace
}  // namespace kt
