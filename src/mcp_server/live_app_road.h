// The loop's road to the real app: the control file, loopback connections, and the app
// started when a tool call needs it.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "cli_protocol/records.h"
#include "json/json_fwd.h"
#include "mcp_server/serve_loop.h"

namespace tov::mcp {

class LiveAppRoad final : public AppRoad {
 public:
  std::expected<bool, std::string> say_hello(const McpSession& session) override;
  std::expected<protocol::Response, std::string> ask_app(const McpSession& session,
                                                         std::string_view op,
                                                         json::Value params) override;
};

}  // namespace tov::mcp
