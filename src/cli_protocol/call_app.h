// The one exchange of a request and an answer with the app.
#pragma once

#include <chrono>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "cli_protocol/records.h"
#include "json/json_fwd.h"
#include "platform/platform.h"

namespace tov::protocol {

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
