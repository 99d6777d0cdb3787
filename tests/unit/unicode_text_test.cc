#include "text/unicode_text.h"

#include <gtest/gtest.h>

#include <string>

#include "text/utf8.h"

namespace tov::text {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(UnicodeText, Utf8ValidityAndLossyForm) {
  struct Case {
    std::string bytes;
    bool valid;
    std::string lossy;
  };
  const Case cases[] = {
      {"caf\xC3\xA9 \xE2\x82\xAC", true, "caf\xC3\xA9 \xE2\x82\xAC"},
      {"\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", true, "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},  // up to U+10FFFF
      {std::string("a\0b", 3), true, std::string("a\0b", 3)},
      {"\xC0\x80", false, kFffd + kFffd},                          // overlong
      {"\xE0\x80\x80", false, kFffd + kFffd + kFffd},              // overlong, three bytes
      {"\xED\xA0\x80", false, kFffd + kFffd + kFffd},              // surrogate
      {"\xF4\x90\x80\x80", false, kFffd + kFffd + kFffd + kFffd},  // above U+10FFFF
      {"\xFF\x80", false, kFffd + kFffd},
      {"a\xF0\x9F\x98", false, "a" + kFffd},  // one replacement for the whole cut character
      {"\xE2\x82x\xC3", false, kFffd + "x" + kFffd},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid);
    EXPECT_EQ(lossy_utf8(c.bytes), c.lossy);
  }
}

TEST(UnicodeText, WhiteSpaceIsExactlyTheTwentyFiveCharacters) {
  int count = 0;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) count += is_white_space(c) ? 1 : 0;
  EXPECT_EQ(count, 25);
  for (char32_t c : {U'\u0085', U'\u1680', U'\u200A', U'\u205F', U'\u3000'}) EXPECT_TRUE(is_white_space(c));
  // Look-alikes without the property.
  for (char32_t c : {U'\u200B', U'\u180E', U'\uFEFF', U'\u001F'}) EXPECT_FALSE(is_white_space(c));
}

TEST(UnicodeText, TrimRemovesWhiteSpaceAtBothEndsOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"   ", ""},
      {" \t\r\na b\n", "a b"},
      {"\xC2\xA0x\xE3\x80\x80", "x"},                              // U+00A0 and U+3000
      {"\xE2\x80\x8Bx\xE2\x80\x8B", "\xE2\x80\x8Bx\xE2\x80\x8B"},  // U+200B stays
      {"x\xC3\xA9 ", "x\xC3\xA9"},
      {" \xFF ", "\xFF"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(trim(in), out) << ::testing::PrintToString(in);
}

}  // namespace
}  // namespace tov::text
