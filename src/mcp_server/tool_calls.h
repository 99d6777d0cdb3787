// tools/call: check the arguments, map the tool to one request, wrap the answer.
#pragma once

#include <expected>
#include <string_view>

#include "json/json.h"
#include "mcp_server/mcp_server.h"
#include "mcp_server/serve_loop.h"

namespace tov::mcp {

// The reply to a tools/call; the announcement and the exchange with the app go by `road`.
json::Value handle_tools_call(McpSession& session, json::Value id, const json::Value* params,
                              AppRoad& road, ServeStreams& streams);

// A checked tool call: the control operation and its parameters.
struct ToolCall {
  std::string_view op;
  json::Value params;
};

// Reads and checks a call without contacting anything: the operation to send, or the
// complete reply that refuses the call.
std::expected<ToolCall, json::Value> prepare_tool_call(const json::Value& id,
                                                      const json::Value* params);

}  // namespace tov::mcp
