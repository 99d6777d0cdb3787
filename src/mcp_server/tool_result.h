// The app's answer as an MCP tool result.
#pragma once

#include "cli_protocol/records.h"
#include "json/json_fwd.h"

namespace tov::mcp {

// {"content": [one text item], "isError": ..., "structuredContent": ...}: the data of a
// success, or the failure envelope {"error": ..., "ok": false}.
// Takes the answer by value so that its data moves into the result instead of being copied.
json::Value tool_result(protocol::Response answer);

}  // namespace tov::mcp
