// The MCP server's only contact with the app: the announcement's "hello" and each tool
// call's exchange.
#include "mcp_server/live_app_road.h"

#include <optional>
#include <utility>

#include "cli_protocol/app_launch.h"
#include "cli_protocol/call_app.h"
#include "cli_protocol/control_file.h"
#include "cli_protocol/loopback.h"
#include "json/json.h"
#include "platform/platform.h"

namespace tov::mcp {
// An agent that finds no app here is announced at a later call, once something has started
// it: the announcement never starts the app itself.
std::expected<bool, std::string> LiveAppRoad::say_hello(const McpSession& session) {
  auto path = protocol::control_file_path();
  if (!path || !platform::metadata(*path)) return false;
  auto handshake = protocol::load_handshake(protocol::Face::Mcp);
  if (!handshake) return std::unexpected(handshake.error());
  auto socket = protocol::connect_with_timeouts(handshake->socket);
  if (!socket) {
    return std::unexpected("could not reach the app on " + handshake->socket + ": " +
                           socket.error().message);
  }
  auto answer = protocol::call_app(*handshake, std::move(*socket), "hello",
                                   json::Value::object(), session.identity);
  if (!answer) return std::unexpected(answer.error());
  return answer->ok;
}

// The control file, the app started when it is missing or not listening, one exchange.
std::expected<protocol::Response, std::string> LiveAppRoad::ask_app(const McpSession& session,
                                                                    std::string_view op,
                                                                    json::Value params) {
  std::optional<std::string> path = protocol::control_file_path();
  if (!path) return std::unexpected("no home directory");
  // An existing control file is never a reason to start the app, even a stale one:
  // connect_or_launch finds out whether anything listens.
  auto handshake = platform::metadata(*path)
                       ? protocol::load_handshake(protocol::Face::Mcp)
                       : protocol::ensure_app_running(protocol::Face::Mcp);
  if (!handshake) return std::unexpected(handshake.error());
  auto connection = protocol::connect_or_launch(protocol::Face::Mcp, std::move(*handshake));
  if (!connection) return std::unexpected(connection.error());
  return protocol::call_app(connection->handshake, std::move(connection->stream), op,
                            std::move(params), session.identity);
}

}  // namespace tov::mcp
