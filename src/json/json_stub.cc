// Temporary: stands in until the serde-compatible reader and writer land.
#include "json/json.h"

namespace tov::json {

std::expected<Value, ReadError> parse(std::string_view text) {
  Value v = Value::parse(text.begin(), text.end(), nullptr, false);
  if (v.is_discarded()) return std::unexpected(ReadError{"expected value at line 1 column 1", 1, 1});
  return v;
}

std::expected<void, WriteError> append_compact(std::string& out, const Value& value) {
  try {
    out += value.dump(-1, ' ', false, Value::error_handler_t::strict);
  } catch (const std::exception& e) {
    return std::unexpected(WriteError{e.what()});
  }
  return {};
}

std::expected<std::string, WriteError> to_compact(const Value& value) {
  std::string out;
  if (auto r = append_compact(out, value); !r) return std::unexpected(r.error());
  return out;
}

std::expected<std::string, WriteError> to_pretty(const Value& value) {
  try {
    return value.dump(2, ' ', false, Value::error_handler_t::strict);
  } catch (const std::exception& e) {
    return std::unexpected(WriteError{e.what()});
  }
}

std::expected<void, WriteError> append_string(std::string& out, std::string_view text) {
  return append_compact(out, Value(std::string(text)));
}

}  // namespace tov::json
