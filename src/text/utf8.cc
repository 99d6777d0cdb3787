#include "text/utf8.h"

#include <cstdint>
#include <cstring>

namespace tov::text {

namespace {

// True when none of the eight bytes at `p` has its high bit set.
bool is_ascii_word(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return (word & 0x8080808080808080ULL) == 0;
}

// Inlined into the validity test, which never uses the code point: the compiler drops its
// computation there, and reading keeps the speed it had with a length-only check.
[[gnu::always_inline]] inline Utf8Step decode(std::string_view bytes, std::size_t pos) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data()) + pos;
  const std::size_t available = bytes.size() - pos;
  const std::uint8_t first = p[0];
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
    const bool fits = i < available && (i == 1 ? (p[i] >= low && p[i] <= high) : (p[i] & 0xC0) == 0x80);
    // The maximal invalid subpart is everything that still could have begun a character.
    if (!fits) return {0, i, false};
    value = (value << 6) | (p[i] & 0x3F);
  }
  return {value, width, true};
}

}  // namespace

Utf8Step decode_utf8(std::string_view bytes, std::size_t pos) { return decode(bytes, pos); }

bool is_valid_utf8(std::string_view bytes) {
  for (std::size_t pos = 0; pos < bytes.size();) {
    // Runs of ASCII pass eight bytes at a time.
    if (bytes.size() - pos >= 8 && is_ascii_word(bytes.data() + pos)) {
      pos += 8;
      continue;
    }
    const Utf8Step step = decode(bytes, pos);
    if (!step.valid) return false;
    pos += step.length;
  }
  return true;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace tov::text
