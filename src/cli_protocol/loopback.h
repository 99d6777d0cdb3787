// The app's address as the control file gives it, and the connection to it.
#pragma once

#include <chrono>
#include <string_view>

#include "platform/platform.h"

namespace tov::protocol {

// Send and receive timeouts of every fresh connection.
inline constexpr std::chrono::seconds kStreamTimeout{16};

// Reads the socket text of a handshake, without connecting. Fails with InvalidInput and
// the "not an address" or "only talks to this machine" message.
platform::IoResult<platform::SocketAddress> loopback_address(std::string_view socket_text);

// Connects to the loopback address that `socket_text` names, within 15 s. Sets no timeout.
platform::IoResult<platform::Socket> connect_loopback(std::string_view socket_text);

// connect_loopback, then the receive and then the send timeout of kStreamTimeout: every
// connection to the app is made so. A timeout that cannot be set fails the connect.
platform::IoResult<platform::Socket> connect_with_timeouts(std::string_view socket_text);

}  // namespace tov::protocol
