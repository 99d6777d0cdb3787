#include "json/utf8.h"

#include <cstdint>
#include <cstring>

namespace tov::json {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

bool continuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

bool is_valid_utf8(std::string_view text) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    // Runs of ASCII are checked eight bytes at a time.
    while (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      if (word & kHighBits) break;
      p += 8;
    }
    if (p == end) break;
    const std::uint8_t lead = *p;
    if (lead < 0x80) {
      ++p;
      continue;
    }
    std::ptrdiff_t need;
    std::uint8_t low = 0x80;  // bounds of the second byte
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      need = 2;
      if (lead == 0xE0) low = 0xA0;   // overlong
      if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      need = 3;
      if (lead == 0xF0) low = 0x90;   // overlong
      if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
      return false;
    }
    if (end - p <= need) return false;
    if (p[1] < low || p[1] > high) return false;
    for (std::ptrdiff_t i = 2; i <= need; ++i) {
      if (!continuation(p[i])) return false;
    }
    p += need + 1;
  }
  return true;
}

}  // namespace tov::json
