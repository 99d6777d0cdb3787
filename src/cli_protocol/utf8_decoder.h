// One step of UTF-8 decoding, shared by the validity test, trimming, lossy conversion and
// the agent-name folding.
#pragma once

#include <cstddef>
#include <string_view>

namespace tov::text {

struct Utf8Step {
  char32_t code_point = 0;  // meaningful only when valid
  std::size_t length = 1;   // bytes taken: the character, or the maximal invalid subpart
  bool valid = false;
};

// Decodes the character that starts at `pos` (< bytes.size()) with the rules of Rust's
// str::from_utf8: no overlong forms, no surrogates, nothing above U+10FFFF.
Utf8Step decode_utf8(std::string_view bytes, std::size_t pos);

}  // namespace tov::text
