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

// The Unicode version whose characters rust_debug_str escapes as the Rust standard library
// of that version does (Rust's char::UNICODE_VERSION, written "17.0.0"). A Rust of another
// Unicode escapes other characters, so the differential test checks its peer against this.
extern const std::string_view kRustDebugUnicodeVersion;

}  // namespace tov::json
