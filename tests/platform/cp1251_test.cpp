#include "platform/cp1251.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>

namespace {

// The code point glibc assigns to a Windows-1251 byte, if it has one.
std::optional<char32_t> IconvCodePoint(unsigned char byte) {
  iconv_t cd = iconv_open("UTF-32LE", "CP1251");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  char in[1] = {static_cast<char>(byte)};
  unsigned char out[4] = {};
  char* inp = in;
  char* outp = reinterpret_cast<char*>(out);
  size_t inLeft = 1, outLeft = 4;
  size_t rc = iconv(cd, &inp, &inLeft, &outp, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || outLeft != 0) return std::nullopt;
  return char32_t(out[0]) | char32_t(out[1]) << 8 | char32_t(out[2]) << 16 | char32_t(out[3]) << 24;
}

std::string AllBytes() {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  return all;
}

TEST(Cp1251Table, AgreesWithTheSystemCodePageExceptTheUndefinedByte) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    if (b == 0x98) continue;
    const std::optional<char32_t> expected = IconvCodePoint(static_cast<unsigned char>(b));
    ASSERT_TRUE(expected.has_value()) << "iconv has no mapping";
    EXPECT_EQ(Cp1251ToUnicode(static_cast<unsigned char>(b)), *expected);
  }
  EXPECT_FALSE(IconvCodePoint(0x98).has_value()) << "iconv now maps 0x98";
  EXPECT_EQ(Cp1251ToUnicode(0x98), U'\u0098');
}

TEST(Cp1251Table, EveryByteSurvivesTheRoundTrip) {
  const std::string all = AllBytes();
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
  for (int b = 0; b < 256; ++b) {
    unsigned char back = 0;
    ASSERT_TRUE(UnicodeToCp1251(Cp1251ToUnicode(static_cast<unsigned char>(b)), back)) << b;
    EXPECT_EQ(back, b);
  }
}

TEST(Cp1251Table, ConvertsRussianText) {
  // "Мастер"
  EXPECT_EQ(Cp1251ToUtf8("\xCC\xE0\xF1\xF2\xE5\xF0"), "\u041C\u0430\u0441\u0442\u0435\u0440");
  EXPECT_EQ(Utf8ToCp1251("\u0401\u0451 \u2116 \u20AC"), "\xA8\xB8 \xB9 \x88");
}

TEST(Cp1251Table, UnmappableAndMalformedUtf8BecomesQuestionMarks) {
  struct Row {
    const char* name;
    std::string utf8;
    std::string expected;
  };
  const Row rows[] = {
      {"code point without a byte (CJK)", "a\u4E2Db", "a?b"},
      {"C1 control other than U+0098", "\u0081", "?"},
      {"beyond the BMP", "\U0001F600", "?"},
      {"stray continuation bytes", "\x80\xBF", "??"},
      {"truncated sequence at the end", "x\xD0", "x?"},
      {"missing continuation keeps the next byte",
       "\xD0"
       "A",
       "?A"},
      {"overlong slash", "\xC0\xAF", "??"},
      {"overlong three-byte form", "\xE0\x80\xAF", "?"},
      {"encoded surrogate", "\xED\xA0\x80", "?"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", "?"},
      {"invalid lead byte", "\xFF", "?"},
      {"empty", "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Utf8ToCp1251(row.utf8), row.expected);
  }
}

}  // namespace
