#include "cli_protocol/call_app.h"

#include <string>

#include "cli_protocol/frames.h"
#include "json/json.h"

namespace tov::protocol {

namespace {

constexpr std::chrono::seconds kReceiveDeadline{16};
constexpr std::chrono::seconds kExportReceiveDeadline{301};

constexpr std::string_view kTimeoutMessage =
    "The app did not answer within the operation deadline. The request may still complete; inspect the "
    "destination file before retrying an export, or status before retrying a write.";

bool is_timeout(platform::ErrorKind kind) {
  return kind == platform::ErrorKind::WouldBlock || kind == platform::ErrorKind::TimedOut;
}

}  // namespace

std::chrono::seconds receive_deadline(std::string_view op) {
  return op == "export" ? kExportReceiveDeadline : kReceiveDeadline;
}

std::expected<Response, std::string> call_app(const Handshake& handshake, platform::Socket stream, std::string_view op,
                                              json::Value params, std::optional<ClientIdentity> client) {
  return call_app_within(receive_deadline(op), handshake, std::move(stream), op, std::move(params), std::move(client));
}

std::expected<Response, std::string> call_app_within(std::chrono::milliseconds deadline, const Handshake& handshake,
                                                     platform::Socket stream, std::string_view op, json::Value params,
                                                     std::optional<ClientIdentity> client) {
  // The deadline bounds each receive, not the answer as a whole.
  if (auto set = stream.set_receive_timeout(deadline); !set) {
    return std::unexpected("could not configure response timeout: " + set.error().message);
  }
  Request request{handshake.token, std::string(op), std::move(params), std::move(client)};

  // The request goes out on a second handle so that closing it leaves the connection open
  // for the answer.
  auto writer = stream.duplicate();
  if (!writer) return std::unexpected("could not write to the app: " + writer.error().message);
  if (auto written = write_request(std::move(*writer), request); !written) {
    return std::unexpected("could not send the request: " + written.error().message);
  }

  auto response = read_response(std::move(stream));
  if (response) return std::move(*response);
  if (is_timeout(response.error().kind)) return Response::failure("Timeout", kTimeoutMessage);
  return std::unexpected("could not read the answer: " + response.error().message);
}

}  // namespace tov::protocol
