// The JSON reader on arbitrary bytes: it never crashes, every error names its position, and
// whatever it reads comes back unchanged through the compact and the pretty writer.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "cli_protocol/unicode_text.h"
#include "fuzz_check.h"
#include "json/json.h"

namespace {

using tov::fuzzing::require;
using tov::json::Value;

// Equal values; a float may differ in its last bits, since reading decimals back is not
// always correctly rounded (the library we follow rounds that way too).
bool same_value(const Value& a, const Value& b) {
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

void round_trip(const Value& value, const std::string& text, const char* writer) {
  auto again = tov::json::parse(text);
  require(again.has_value(), "written text reads back", again ? text : again.error().message);
  require(same_value(value, *again), "written text reads back as the same value", writer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = tov::fuzzing::as_text(data, size);
  auto value = tov::json::parse(text);
  if (!value) {
    require(tov::fuzzing::has_position_suffix(value.error()), "error ends in its position",
            value.error().message);
    return 0;
  }
  // The program reads JSON only from text it has checked to be UTF-8.
  if (!tov::text::is_valid_utf8(text)) return 0;

  auto compact = tov::json::to_compact(*value);
  require(compact.has_value(), "a value read writes as compact text");
  require(std::none_of(compact->begin(), compact->end(), [](char c) { return c >= 0 && c < 0x20; }),
          "compact text is one line without control characters", *compact);
  round_trip(*value, *compact, "compact");

  auto pretty = tov::json::to_pretty(*value);
  require(pretty.has_value(), "a value read writes as pretty text");
  require(std::none_of(pretty->begin(), pretty->end(),
                       [](char c) { return c >= 0 && c < 0x20 && c != '\n'; }),
          "pretty text has no control characters but line feeds", *pretty);
  round_trip(*value, *pretty, "pretty");
  return 0;
}
