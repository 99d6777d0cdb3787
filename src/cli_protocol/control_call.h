// The road from the program to the app: brand settings, the control file, the loopback
// connection and the one exchange of a request and an answer.
#pragma once

#include <chrono>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "cli_protocol/records.h"
#include "json/json.h"
#include "platform/platform.h"

namespace tov::protocol {

// Which front end calls: it words two failures of load_handshake.
enum class Face { Cli, Mcp };

inline constexpr std::uint32_t kControlProtocolVersion = 3;
inline constexpr std::string_view kControlFileName = "cli-control.json";
inline constexpr std::chrono::seconds kConnectTimeout{15};
inline constexpr std::chrono::seconds kReceiveDeadline{16};
inline constexpr std::chrono::seconds kExportReceiveDeadline{301};
// Send and receive timeouts of every fresh connection.
inline constexpr std::chrono::seconds kStreamTimeout{16};

// Brand settings, trimmed at every use; a blank one gives way to its built-in default.
std::string brand_product_name();
std::string brand_app_id();
std::string brand_cli_stem();
std::string brand_app_stem();
// The rule behind the four: `value` trimmed, or `fallback` untrimmed when nothing is left.
std::string brand_setting(std::string_view value, std::string_view fallback);

std::string with_exe_suffix(std::string_view stem);
std::string program_file_name();

// The control file's path; none when no base folder can be found.
std::optional<std::string> control_file_path();

// Reads and checks the control file anew.
std::expected<Handshake, std::string> load_handshake(Face face);

// Reads the socket text of a handshake, without connecting. Fails with InvalidInput and
// the "not an address" or "only talks to this machine" message.
platform::IoResult<platform::SocketAddress> loopback_address(std::string_view socket_text);

// Connects to the loopback address that `socket_text` names, within 15 s. Sets no timeout.
platform::IoResult<platform::Socket> connect_loopback(std::string_view socket_text);

// One exchange on `stream`, which it takes over and closes. A passed receive deadline is the
// "Timeout" answer, not a failure.
std::expected<Response, std::string> call_app(const Handshake& handshake, platform::Socket stream,
                                              std::string_view op, json::Value params,
                                              std::optional<ClientIdentity> client);

// The receive deadline of an operation: 301 s for exactly "export", 16 s for every other name.
std::chrono::seconds receive_deadline(std::string_view op);
// call_app with the receive deadline given (tests shorten it).
std::expected<Response, std::string> call_app_within(std::chrono::milliseconds deadline,
                                                     const Handshake& handshake, platform::Socket stream,
                                                     std::string_view op, json::Value params,
                                                     std::optional<ClientIdentity> client);

}  // namespace tov::protocol
