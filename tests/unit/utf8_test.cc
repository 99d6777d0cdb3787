// The UTF-8 encoder against the decoder, and the validity test's eight-byte ASCII path.
// (Which sequences are valid, and how they are cut, is in unicode_text_test.cc.)
#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace tov::text {
namespace {

TEST(Utf8, EncoderWritesTheShortestFormAtEachLengthBoundary) {
  const std::pair<char32_t, std::string> cases[] = {
      {U'\0', std::string(1, '\0')}, {0x7F, "\x7F"},          {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},           {0x800, "\xE0\xA0\x80"}, {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"},
  };
  for (const auto& [c, bytes] : cases) {
    std::string out = "x";
    append_utf8(out, c);
    EXPECT_EQ(out, "x" + bytes) << static_cast<unsigned>(c);
  }
}

TEST(Utf8, EveryScalarValueSurvivesEncodingAndDecoding) {
  std::string all;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    std::string one;
    append_utf8(one, c);
    const Utf8Step step = decode_utf8(one, 0);
    ASSERT_TRUE(step.valid && step.code_point == c && step.length == one.size()) << static_cast<unsigned>(c);
    all += one;
  }
  EXPECT_TRUE(is_valid_utf8(all));
}

// A fault inside or right after a run of ASCII must not be skipped by the word-at-a-time path.
TEST(Utf8, ValidityHoldsAtEveryOffsetInAsciiRuns) {
  const std::pair<std::string, bool> inserts[] = {
      {"\xC3\xA9", true},
      {"\xF0\x9F\x98\x80", true},
      {"\xC3", false},          // cut
      {"\xED\xA0\x80", false},  // surrogate
      {"\x80", false},          // stray continuation byte
  };
  for (const auto& [insert, valid] : inserts) {
    for (std::size_t at = 0; at <= 20; ++at) {
      std::string bytes(20, 'a');
      bytes.insert(at, insert);
      EXPECT_EQ(is_valid_utf8(bytes), valid) << ::testing::PrintToString(bytes);
    }
  }
}

}  // namespace
}  // namespace tov::text
