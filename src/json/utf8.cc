#include "json/utf8.h"

#include <cstdint>
#include <cstring>

#include "json/byte_scan.h"

namespace tov::json {

std::size_t utf8_sequence_length(std::string_view text, std::size_t at) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data()) + at;
  const std::size_t available = text.size() - at;
  const std::uint8_t lead = p[0];
  if (lead < 0x80) return 1;
  std::size_t length;
  std::uint8_t low = 0x80;  // bounds of the second byte
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (available < length || p[1] < low || p[1] > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  return length;
}

bool is_valid_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    // Runs of ASCII are checked eight bytes at a time.
    if (text.size() - i >= 8 && (load_word(text.data() + i) & kHighBits) == 0) {
      i += 8;
      continue;
    }
    const std::size_t length = utf8_sequence_length(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace tov::json
