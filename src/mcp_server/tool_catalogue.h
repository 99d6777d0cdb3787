// The 18 tools that the MCP server offers, in the order tools/list shows them.
#pragma once

#include <vector>

#include "json/json_fwd.h"

namespace tov::mcp {

std::vector<json::Value> tool_catalogue();

}  // namespace tov::mcp
