// The bits of Unicode that the program needs beyond UTF-8 itself (text/utf8.h):
// White_Space trimming and lossy conversion of platform text.
#pragma once

#include <string>
#include <string_view>

namespace tov::text {

// True for the characters with the Unicode White_Space property.
bool is_white_space(char32_t c);
// Removes leading and trailing White_Space characters. `s` must be valid UTF-8.
std::string_view trim(std::string_view s);
// Replaces every sequence that is not valid UTF-8 by U+FFFD, as Rust's from_utf8_lossy does.
std::string lossy_utf8(std::string_view bytes);

}  // namespace tov::text
