#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "support/test_support.h"

namespace kt::platform {
namespace {

using test::U16;

std::u16string ToWide(const char* narrow) {
  const int needed = NarrowToWide(narrow, nullptr, 0);
  if (needed <= 0) return u"<failed>";
  std::u16string out(static_cast<size_t>(needed), u'#');
  EXPECT_EQ(NarrowToWide(narrow, out.data(), needed), needed);
  EXPECT_EQ(out.back(), u'\0');
  out.pop_back();
  return out;
}

std::string ToNarrow(const std::u16string& wide) {
  const int needed = WideToNarrow(wide.c_str(), nullptr, 0);
  if (needed <= 0) return "<failed>";
  std::string out(static_cast<size_t>(needed), '#');
  EXPECT_EQ(WideToNarrow(wide.c_str(), out.data(), needed), needed);
  EXPECT_EQ(out.back(), '\0');
  out.pop_back();
  return out;
}

constexpr bool IsWindows() {
#ifdef _WIN32
  return true;
#else
  return false;
#endif
}

// Whether the system code page is UTF-8, as it always is off Windows.
bool SystemCodePageIsUtf8() {
#ifdef _WIN32
  return GetACP() == CP_UTF8;
#else
  return true;
#endif
}

TEST(TextTest, AsciiBothWaysCountsTheTerminator) {
  char16_t wide[16];
  EXPECT_EQ(NarrowToWide("frame", wide, 16), 6);
  EXPECT_EQ(std::u16string(wide), u"frame");
  char narrow[16];
  EXPECT_EQ(WideToNarrow(u"frame", narrow, 16), 6);
  EXPECT_STREQ(narrow, "frame");
  EXPECT_EQ(NarrowToWide("", wide, 16), 1);
  EXPECT_EQ(wide[0], u'\0');
}

TEST(TextTest, MeasuresWithZeroSizeAndRefusesShortOrMissingBuffers) {
  EXPECT_EQ(NarrowToWide("abc", nullptr, 0), 4);
  EXPECT_EQ(WideToNarrow(u"abc", nullptr, 0), 4);
  char16_t wide[3] = {u'x', u'x', u'x'};
  EXPECT_EQ(NarrowToWide("abc", wide, 3), 0);  // no room for the terminator
  char narrow[3];
  EXPECT_EQ(WideToNarrow(u"abc", narrow, 3), 0);
  EXPECT_EQ(NarrowToWide("abc", nullptr, 8), 0);
  EXPECT_EQ(WideToNarrow(u"abc", nullptr, 8), 0);
  EXPECT_EQ(NarrowToWide("abc", wide, -1), 0);
  EXPECT_EQ(WideToNarrow(u"abc", narrow, -1), 0);
}

TEST(TextTest, NullInputFails) {
  char16_t wide[4];
  char narrow[4];
  EXPECT_EQ(NarrowToWide(nullptr, wide, 4), 0);
  EXPECT_EQ(WideToNarrow(nullptr, narrow, 4), 0);
  std::string out = "kept";
  EXPECT_FALSE(WideToUtf8Strict(nullptr, &out));
  EXPECT_FALSE(WideToUtf8Strict(u"a", nullptr));
  EXPECT_EQ(out, "kept");
}

TEST(TextTest, NonAsciiRoundTripsThroughTheSystemCodePage) {
  if (SystemCodePageIsUtf8()) {
    // Two-, three- and four-byte sequences; the last is a surrogate pair.
    const std::string utf8 =
        "Gr\xC3\xBC\xC3\x9F"
        "e-\xE6\xB8\xA9\xE5\xBA\xA6-\xF0\x9F\x94\xA5";
    const std::u16string utf16 = u"Gr\u00FC\u00DFe-\u6E29\u5EA6-\U0001F525";
    EXPECT_EQ(ToWide(utf8.c_str()), utf16);
    EXPECT_EQ(ToNarrow(utf16), utf8);
    EXPECT_EQ(NarrowToWide(utf8.c_str(), nullptr, 0), static_cast<int>(utf16.size()) + 1);
  } else {
    // A single-byte ANSI code page: whatever it maps, it maps back.
    const std::string narrow = "caf\xE9";
    const std::u16string wide = ToWide(narrow.c_str());
    EXPECT_EQ(wide.size(), 4u);
    EXPECT_EQ(ToNarrow(wide), narrow);
  }
}

#ifndef _WIN32
// Off Windows the UTF-8 decoding is our own; on Windows the system does it.
TEST(TextTest, IllFormedUtf8BecomesOneReplacementPerBadSequence) {
  // A stray continuation byte and an impossible byte.
  EXPECT_EQ(ToWide("a\x80"
                   "b\xFF"),
            u"a\uFFFDb\uFFFD");
  // A three-byte sequence cut short by the next character, and by the end.
  EXPECT_EQ(ToWide("\xE6\xB8"
                   "A\xE6\xB8"),
            u"\uFFFDA\uFFFD");
  // An overlong form, an encoded surrogate and a code point above U+10FFFF.
  EXPECT_EQ(ToWide("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(ToWide("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(ToWide("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
}
#endif

TEST(TextTest, UnpairedSurrogatesNarrowToAReplacement) {
  // '?' off Windows and in the single-byte ANSI code pages; the system's UTF-8
  // encoder writes U+FFFD instead.
  const std::string r = SystemCodePageIsUtf8() && IsWindows() ? "\xEF\xBF\xBD" : "?";
  const char16_t lone_high[] = {u'a', 0xD83D, u'b', 0};
  const char16_t lone_low[] = {0xDD25, u'c', 0xD83D, 0};
  EXPECT_EQ(ToNarrow(lone_high), "a" + r + "b");
  EXPECT_EQ(ToNarrow(lone_low), r + "c" + r);
}

TEST(TextTest, StrictUtf8ConversionRefusesUnpairedSurrogates) {
  std::string out;
  ASSERT_TRUE(WideToUtf8Strict(U16("temp-\xE6\xB8\xA9\xF0\x9F\x94\xA5.bin").c_str(), &out));
  EXPECT_EQ(out, "temp-\xE6\xB8\xA9\xF0\x9F\x94\xA5.bin");
  ASSERT_TRUE(WideToUtf8Strict(u"", &out));
  EXPECT_EQ(out, "");

  out = "kept";
  const char16_t high_at_end[] = {u'a', 0xD83D, 0};
  const char16_t high_then_ascii[] = {0xD83D, u'a', 0};
  const char16_t lone_low[] = {u'a', 0xDD25, 0};
  EXPECT_FALSE(WideToUtf8Strict(high_at_end, &out));
  EXPECT_FALSE(WideToUtf8Strict(high_then_ascii, &out));
  EXPECT_FALSE(WideToUtf8Strict(lone_low, &out));
  EXPECT_EQ(out, "kept");
}

}  // namespace
}  // namespace kt::platform
