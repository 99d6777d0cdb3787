// UTF-8 validity as Rust's str checks it: no overlong forms, no surrogates, nothing above
// U+10FFFF.
#pragma once

#include <cstddef>
#include <string_view>

namespace tov::json {

bool is_valid_utf8(std::string_view text);

// The length of the valid UTF-8 sequence that starts at text[at] (1 to 4), or 0 when
// none does.
std::size_t utf8_sequence_length(std::string_view text, std::size_t at);

}  // namespace tov::json
