// A tool result carries the answer twice: as pretty text for the agent to read, and as
// structured content for clients that use it.
#include "mcp_server/tool_result.h"

#include <string>
#include <utility>

#include "json/json.h"

namespace tov::mcp {
namespace {

constexpr const char* kUnprintable = "the app returned something unprintable";

json::Value result_of(const json::Value& shown, bool is_error) {
  auto text = json::to_pretty(shown);
  json::Value item = json::Value::object(
      {{"type", "text"}, {"text", text ? std::move(*text) : std::string(kUnprintable)}});
  return json::Value::object(
      {{"content", json::Value::array({std::move(item)})}, {"isError", is_error}});
}

}  // namespace

json::Value tool_result(protocol::Response answer) {
  if (answer.ok) {
    json::Value data = answer.data ? std::move(*answer.data) : json::Value(nullptr);
    json::Value result = result_of(data, false);
    // MCP defines structured content as an object, and clients reject any other value; the
    // text item still carries the rest, "null" included.
    if (data.is_object()) result["structuredContent"] = std::move(data);
    return result;
  }
  json::Value error = answer.error ? protocol::response_error_to_value(*answer.error)
                                   : json::Value(nullptr);
  json::Value envelope = json::Value::object({{"error", std::move(error)}, {"ok", false}});
  json::Value result = result_of(envelope, true);
  result["structuredContent"] = std::move(envelope);
  return result;
}

}  // namespace tov::mcp
