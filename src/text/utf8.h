// UTF-8 with the rules of Rust's str::from_utf8: no overlong forms, no surrogates, nothing
// above U+10FFFF. Every layer that checks, walks or writes UTF-8 uses these.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tov::text {

struct Utf8Step {
  char32_t code_point = 0;  // meaningful only when valid
  std::size_t length = 1;   // bytes taken: the character, or the maximal invalid subpart
  bool valid = false;
};

// Decodes the character that starts at `pos` (< bytes.size()).
Utf8Step decode_utf8(std::string_view bytes, std::size_t pos);

bool is_valid_utf8(std::string_view bytes);

// Appends the UTF-8 form of `c`, a Unicode scalar value.
void append_utf8(std::string& out, char32_t c);

}  // namespace tov::text
