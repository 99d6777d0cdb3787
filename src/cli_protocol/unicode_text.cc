#include "cli_protocol/unicode_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "cli_protocol/utf8_decoder.h"

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

// True when none of the eight bytes at `p` has its high bit set.
bool is_ascii_word(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return (word & 0x8080808080808080ULL) == 0;
}

}  // namespace

Utf8Step decode_utf8(std::string_view bytes, std::size_t pos) {
  auto at = [&](std::size_t i) -> std::uint8_t { return i < bytes.size() ? static_cast<std::uint8_t>(bytes[i]) : 0; };
  const std::uint8_t first = at(pos);
  if (first < 0x80) return {first, 1, true};

  // The range that the second byte must fall in, by lead byte; it rules out overlong
  // forms, surrogates and code points above U+10FFFF in one test.
  std::size_t width = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  char32_t value = 0;
  if (first >= 0xC2 && first <= 0xDF) {
    width = 2;
    value = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    width = 3;
    value = first & 0x0F;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    width = 4;
    value = first & 0x07;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return {0, 1, false};
  }

  for (std::size_t i = 1; i < width; ++i) {
    const std::uint8_t b = at(pos + i);
    const bool fits = pos + i < bytes.size() && (i == 1 ? (b >= low && b <= high) : (b >= 0x80 && b <= 0xBF));
    // The maximal invalid subpart is everything that still could have begun a character.
    if (!fits) return {0, i, false};
    value = (value << 6) | (b & 0x3F);
  }
  return {value, width, true};
}

bool is_valid_utf8(std::string_view bytes) {
  for (std::size_t pos = 0; pos < bytes.size();) {
    // Runs of ASCII pass eight bytes at a time.
    if (bytes.size() - pos >= 8 && is_ascii_word(bytes.data() + pos)) {
      pos += 8;
      continue;
    }
    const Utf8Step step = decode_utf8(bytes, pos);
    if (!step.valid) return false;
    pos += step.length;
  }
  return true;
}

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
