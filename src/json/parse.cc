#include "json/deserializer.h"
#include "json/json.h"

namespace tov::json {

std::expected<Value, ReadError> parse(std::string_view text) {
  Deserializer reader(text);
  Value value;
  if (!reader.parse_value(value) || !reader.end()) return std::unexpected(reader.error());
  return value;
}

}  // namespace tov::json
