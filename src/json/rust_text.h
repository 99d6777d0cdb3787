// Values described the way Rust writes them inside the record-mapping messages
// ("invalid type: string \"a\\u{8}\", expected u32", "floating point `1`").
#pragma once

#include <string>
#include <string_view>

namespace tov::json {

// Rust's Debug form of a str: quoted; \0 \t \r \n \\ \" as such; characters that are
// not printable or that extend a grapheme as \u{hex}; everything else unchanged.
// `text` must be valid UTF-8.
std::string rust_debug_str(std::string_view text);

}  // namespace tov::json
