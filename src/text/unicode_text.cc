#include "text/unicode_text.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "text/utf8.h"

namespace tov::text {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The characters with the White_Space property.
// clang-format off
constexpr std::array<char32_t, 25> kWhiteSpace{
    0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x0085, 0x00A0, 0x1680,
    0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A,
    0x2028, 0x2029, 0x202F, 0x205F, 0x3000,
};
// clang-format on

}  // namespace

bool is_white_space(char32_t c) {
  return std::ranges::find(kWhiteSpace, c) != kWhiteSpace.end();
}

std::string_view trim(std::string_view s) {
  std::size_t begin = 0;
  while (begin < s.size()) {
    const Utf8Step step = decode_utf8(s, begin);
    if (!step.valid || !is_white_space(step.code_point)) break;
    begin += step.length;
  }
  // White space characters are one to three bytes long; walk back over continuation bytes
  // to the start of the last character and test it whole.
  std::size_t end = s.size();
  while (end > begin) {
    std::size_t start = end - 1;
    while (start > begin && end - start < 4 && (static_cast<std::uint8_t>(s[start]) & 0xC0) == 0x80) --start;
    const Utf8Step step = decode_utf8(s, start);
    if (!step.valid || start + step.length != end || !is_white_space(step.code_point)) break;
    end = start;
  }
  return s.substr(begin, end - begin);
}

std::string lossy_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t pos = 0; pos < bytes.size();) {
    const Utf8Step step = decode_utf8(bytes, pos);
    if (step.valid) {
      out.append(bytes.substr(pos, step.length));
    } else {
      out.append(kReplacement);
    }
    pos += step.length;
  }
  return out;
}

}  // namespace tov::text
