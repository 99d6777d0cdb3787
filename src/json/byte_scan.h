// Looking at text eight bytes at a time, for the long runs of plain string content that
// reading and writing pass over.
#pragma once

#include <cstdint>
#include <cstring>

namespace tov::json {

inline constexpr std::uint64_t kEachByte = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

inline std::uint64_t load_word(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Non-zero when a byte of `word` ends plain string content: below 0x20, '"' or '\'.
// (Which byte it is may be misreported; that some byte is never is.)
inline std::uint64_t string_stops(std::uint64_t word) {
  const std::uint64_t quote = word ^ (kEachByte * '"');
  const std::uint64_t backslash = word ^ (kEachByte * '\\');
  return (((word - kEachByte * 0x20) & ~word) | ((quote - kEachByte) & ~quote) |
          ((backslash - kEachByte) & ~backslash)) &
         kHighBits;
}

}  // namespace tov::json
