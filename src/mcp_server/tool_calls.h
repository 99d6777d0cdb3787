// tools/call: check the arguments, map the tool to one request, wrap the answer.
#pragma once

#include <expected>
#include <optional>
#include <string>

#include "json/json.h"
#include "mcp_server/mcp_server.h"

namespace tov::mcp {

json::Value handle_tools_call(McpSession& session, json::Value id, const json::Value* params);
json::Value with_target(json::Value params, const std::optional<std::string>& target);
std::expected<json::Value, std::string> build_open_params(const json::Value& arguments);

}  // namespace tov::mcp
