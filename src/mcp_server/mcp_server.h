// The MCP server: JSON-RPC 2.0 over stdio, one message a line.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "cli_protocol/records.h"
#include "json/json_fwd.h"

namespace tov::mcp {

// What the serve loop knows of its client.
struct McpSession {
  protocol::ClientIdentity identity;
  bool announced = false;
};

// Serves stdin and stdout until stdin ends; the error text of the read or write failure
// that stopped it otherwise.
std::expected<void, std::string> serve_stdio();

json::Value rpc_result(json::Value id, json::Value result);
json::Value rpc_error(json::Value id, std::int32_t code, std::string message);
json::Value tool_error_result(json::Value id, std::string message);

}  // namespace tov::mcp
