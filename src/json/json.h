// JSON text in and out. Values live in nlohmann::json (objects are std::map, so keys come
// out in byte order); the text layer is our own, because what agents compare byte for byte
// (error messages with their positions, number forms, escapes) follows serde_json 1.0.
#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "json/json_fwd.h"

namespace tov::json {

// Nesting that reading accepts: 127 arrays and objects, the outermost included.
inline constexpr int kMaxDepth = 127;

// A reading error. `message` is complete: the library's text followed by
// " at line L column C".
struct ReadError {
  std::string message;
  std::size_t line = 0;
  std::size_t column = 0;
};

struct WriteError {
  std::string message;
};

// Reads exactly one value; only space, tab, line feed and carriage return may surround it.
std::expected<Value, ReadError> parse(std::string_view text);

// Compact text: no whitespace at all.
std::expected<std::string, WriteError> to_compact(const Value& value);
// Pretty text: two-space indent, ": " after keys, "{}" and "[]" when empty, no final newline.
std::expected<std::string, WriteError> to_pretty(const Value& value);

// Appends `value` as compact text to `out`. On failure `out` may hold a partial text.
std::expected<void, WriteError> append_compact(std::string& out, const Value& value);
// Compact text handed out in pieces, for text too large to hold whole: `flush` gets the
// text written so far whenever it reaches `piece_bytes`, and the rest at the end. On failure
// the pieces before it have been handed out already.
std::expected<void, WriteError> write_compact_in_pieces(
    const Value& value, std::size_t piece_bytes, const std::function<void(std::string_view)>& flush);
// Appends `text` as a quoted JSON string. Fails when `text` is not valid UTF-8.
std::expected<void, WriteError> append_string(std::string& out, std::string_view text);

}  // namespace tov::json
