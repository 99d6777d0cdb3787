#include "cli_protocol/unicode_text.h"

#include <gtest/gtest.h>

#include <string>

namespace tov::text {
namespace {

struct Utf8Case {
  std::string bytes;
  bool valid;
  std::string lossy;  // what lossy_utf8 makes of it
};

const std::string kFffd = "\xEF\xBF\xBD";

TEST(UnicodeText, Utf8ValidityAndLossyForm) {
  const Utf8Case cases[] = {
      {"", true, ""},
      {"plain ascii", true, "plain ascii"},
      {"caf\xC3\xA9", true, "caf\xC3\xA9"},
      {"\xE2\x82\xAC", true, "\xE2\x82\xAC"},                   // U+20AC
      {"\xF0\x9F\x98\x80", true, "\xF0\x9F\x98\x80"},           // U+1F600
      {"\xF4\x8F\xBF\xBF", true, "\xF4\x8F\xBF\xBF"},           // U+10FFFF
      {"\xEF\xBF\xBF", true, "\xEF\xBF\xBF"},                   // U+FFFF is a character
      {std::string("a\0b", 3), true, std::string("a\0b", 3)},
      {"\xC0\x80", false, kFffd + kFffd},                       // overlong NUL
      {"\xC1\xBF", false, kFffd + kFffd},
      {"\xE0\x80\x80", false, kFffd + kFffd + kFffd},           // overlong, three bytes
      {"\xED\xA0\x80", false, kFffd + kFffd + kFffd},           // surrogate U+D800
      {"\xF4\x90\x80\x80", false, kFffd + kFffd + kFffd + kFffd},  // above U+10FFFF
      {"\xF5\x80", false, kFffd + kFffd},
      {"\xFF", false, kFffd},
      {"\x80", false, kFffd},
      {"a\xC3", false, "a" + kFffd},                            // cut at the end
      {"\xE2\x82", false, kFffd},                               // one maximal subpart
      {"\xF0\x9F\x98", false, kFffd},
      {"\xE2\x82x", false, kFffd + "x"},
      {"\xF0\x9F\x98\xC3\xA9", false, kFffd + "\xC3\xA9"},
      {"\xE2\x28\xA1", false, kFffd + "(" + kFffd},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid);
    EXPECT_EQ(lossy_utf8(c.bytes), c.lossy);
  }
}

TEST(UnicodeText, WhiteSpaceIsExactlyTheTwentyFiveCharacters) {
  int count = 0;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (is_white_space(c)) ++count;
  }
  EXPECT_EQ(count, 25);
  for (char32_t c : {U'\t', U'\n', U'\v', U'\f', U'\r', U' ', U'\u0085', U'\u00A0', U'\u1680', U'\u2000',
                     U'\u200A', U'\u2028', U'\u2029', U'\u202F', U'\u205F', U'\u3000'}) {
    EXPECT_TRUE(is_white_space(c)) << static_cast<unsigned>(c);
  }
  // Look-alikes that are not White_Space.
  for (char32_t c : {U'\u200B', U'\u180E', U'\uFEFF', U'\u001F', U'\u2060'}) {
    EXPECT_FALSE(is_white_space(c)) << static_cast<unsigned>(c);
  }
}

TEST(UnicodeText, TrimRemovesWhiteSpaceAtBothEndsOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"   ", ""},
      {"abc", "abc"},
      {"  a b  ", "a b"},
      {"\t\r\nx\n", "x"},
      {"\xC2\xA0x\xE3\x80\x80", "x"},                    // U+00A0 and U+3000
      {"\xE2\x80\xAFmid\xC2\x85", "mid"},                // U+202F and U+0085
      {"\xE2\x80\x8Bx\xE2\x80\x8B", "\xE2\x80\x8Bx\xE2\x80\x8B"},  // U+200B stays
      {"x\xC3\xA9 ", "x\xC3\xA9"},
      {" \xFF ", "\xFF"},                                 // invalid bytes are kept
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(trim(in), out) << ::testing::PrintToString(in);
  }
}

}  // namespace
}  // namespace tov::text
