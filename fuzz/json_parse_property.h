// The JSON reader on arbitrary bytes: it never crashes, every error names its position, and
// whatever it reads comes back unchanged through the compact and the pretty writer.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>

#include "json/json.h"
#include "property.h"
#include "text/utf8.h"

namespace tov::fuzzing {
namespace json_parse {

using json::Value;

// Equal values; a float may differ in its last bits, since reading decimals back is not
// always correctly rounded (the library we follow rounds that way too).
inline bool same_value(const Value& a, const Value& b) {
  if (a.is_number_float() || b.is_number_float()) {
    if (!a.is_number() || !b.is_number()) return false;
    double x = a.get<double>(), y = b.get<double>();
    return x == y || std::fabs(x - y) <= 4 * std::fabs(std::nextafter(x, y) - x);
  }
  if (a.type() != b.type() && !(a.is_number() && b.is_number())) return false;
  if (a.is_array()) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (!same_value(a[i], b[i])) return false;
    return true;
  }
  if (a.is_object()) {
    if (a.size() != b.size()) return false;
    for (auto it = a.begin(); it != a.end(); ++it) {
      auto other = b.find(it.key());
      if (other == b.end() || !same_value(*it, *other)) return false;
    }
    return true;
  }
  return a == b;
}

inline bool has_control_character(const std::string& text, bool line_feeds_allowed) {
  return std::any_of(text.begin(), text.end(), [&](char c) {
    return c >= 0 && c < 0x20 && !(line_feeds_allowed && c == '\n');
  });
}

inline void reads_back(const Value& value, const std::string& text, const char* writer,
                       Verdict& verdict) {
  auto again = json::parse(text);
  if (!verdict.require(again.has_value(), "written text reads back",
                       again ? text : again.error().message + "\n  " + text))
    return;
  verdict.require(same_value(value, *again), "written text reads back as the same value", writer);
}

}  // namespace json_parse

inline void check_json_parse(std::string_view text, Verdict& verdict) {
  auto value = json::parse(text);
  if (!value) {
    verdict.require(has_position_suffix(value.error()), "an error ends in its position",
                    value.error().message);
    return;
  }
  // The program reads JSON only from text it has checked to be UTF-8.
  if (!text::is_valid_utf8(text)) return;

  auto compact = json::to_compact(*value);
  if (!verdict.require(compact.has_value(), "a value read writes as compact text")) return;
  verdict.require(!json_parse::has_control_character(*compact, false),
                  "compact text is one line without control characters", *compact);
  json_parse::reads_back(*value, *compact, "compact", verdict);

  auto pretty = json::to_pretty(*value);
  if (!verdict.require(pretty.has_value(), "a value read writes as pretty text")) return;
  verdict.require(!json_parse::has_control_character(*pretty, true),
                  "pretty text has no control characters but line feeds", *pretty);
  json_parse::reads_back(*value, *pretty, "pretty", verdict);
}

}  // namespace tov::fuzzing
