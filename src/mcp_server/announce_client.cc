// Tells a running app, once, which agent is connected. It never starts the app: an agent
// that finds no app here is announced at a later call, once something has started it.
#include <chrono>
#include <string>
#include <utility>

#include "cli_protocol/control_call.h"
#include "mcp_server/mcp_server.h"
#include "platform/platform.h"

namespace tov::mcp {
namespace {

constexpr std::chrono::seconds kAnnounceTimeout{16};

// The connected socket with its timeouts, or the text of what went wrong.
std::expected<platform::Socket, std::string> connect_to(const protocol::Handshake& handshake) {
  auto reach_failure = [&](const platform::IoError& error) {
    return "could not reach the app on " + handshake.socket + ": " + error.message;
  };
  auto socket = protocol::connect_loopback(handshake.socket);
  if (!socket) return std::unexpected(reach_failure(socket.error()));
  if (auto r = socket->set_receive_timeout(kAnnounceTimeout); !r) {
    return std::unexpected(reach_failure(r.error()));
  }
  if (auto r = socket->set_send_timeout(kAnnounceTimeout); !r) {
    return std::unexpected(reach_failure(r.error()));
  }
  return std::move(*socket);
}

// Whether the app took the "hello", or the text of why it could not be sent.
std::expected<bool, std::string> say_hello(const McpSession& session) {
  auto handshake = protocol::load_handshake(protocol::Face::Mcp);
  if (!handshake) return std::unexpected(handshake.error());
  auto socket = connect_to(*handshake);
  if (!socket) return std::unexpected(socket.error());
  auto answer = protocol::call_app(*handshake, std::move(*socket), "hello",
                                   json::Value::object(), session.identity);
  if (!answer) return std::unexpected(answer.error());
  return answer->ok;
}

}  // namespace

void announce_client(McpSession& session) {
  if (session.announced) return;
  auto path = protocol::control_file_path();
  if (!path || !platform::metadata(*path)) return;
  auto accepted = say_hello(session);
  if (!accepted) {
    (void)platform::write_stderr("mcp: could not announce this client to the app (" +
                                 accepted.error() + ")\n");
    return;
  }
  // An app that answers ok false has heard nothing worth reporting; the next call tries again.
  if (*accepted) session.announced = true;
}

}  // namespace tov::mcp
