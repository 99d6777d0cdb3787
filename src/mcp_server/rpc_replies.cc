// The three shapes that every reply of the server takes.
#include <utility>

#include "json/json.h"
#include "mcp_server/mcp_server.h"

namespace tov::mcp {

json::Value rpc_result(json::Value id, json::Value result) {
  return json::Value::object(
      {{"jsonrpc", "2.0"}, {"id", std::move(id)}, {"result", std::move(result)}});
}

json::Value rpc_error(json::Value id, std::int32_t code, std::string message) {
  json::Value error = json::Value::object({{"code", code}, {"message", std::move(message)}});
  return json::Value::object(
      {{"jsonrpc", "2.0"}, {"id", std::move(id)}, {"error", std::move(error)}});
}

// A failed tool is still a successful JSON-RPC reply: the agent reads the text and decides.
json::Value tool_error_result(json::Value id, std::string message) {
  json::Value item = json::Value::object({{"type", "text"}, {"text", std::move(message)}});
  json::Value result =
      json::Value::object({{"content", json::Value::array({std::move(item)})}, {"isError", true}});
  return rpc_result(std::move(id), std::move(result));
}

}  // namespace tov::mcp
