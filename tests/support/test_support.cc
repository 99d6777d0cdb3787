#include "support/test_support.h"

namespace tov::testing {

using namespace std::chrono_literals;

std::string program_path() { return TOV_PROGRAM_PATH; }
std::string stand_in_path() { return TOV_STAND_IN_PATH; }

platform::SocketAddress loopback(std::uint16_t port, bool v6) {
  platform::SocketAddress address;
  address.is_v6 = v6;
  address.port = port;
  if (v6) {
    address.ip[15] = 1;
  } else {
    address.ip = {127, 0, 0, 1};
  }
  return address;
}

SocketPair connected_pair(bool v6) {
  auto listener = platform::Listener::bind_loopback(0, v6);
  if (!listener) return {};
  auto client = platform::Socket::connect(loopback(listener->port(), v6), 5s);
  auto server = listener->accept(5s);
  if (!client || !server) return {};
  return {std::move(*client), std::move(*server)};
}

std::string refusing_socket() {
  std::uint16_t port = 1;
  if (auto listener = platform::Listener::bind_loopback()) port = listener->port();  // closed again at once
  return "127.0.0.1:" + std::to_string(port);
}

}  // namespace tov::testing
