// UTF-8 validity as Rust's str checks it: no overlong forms, no surrogates, nothing above
// U+10FFFF.
#pragma once

#include <string_view>

namespace tov::json {

bool is_valid_utf8(std::string_view text);

}  // namespace tov::json
