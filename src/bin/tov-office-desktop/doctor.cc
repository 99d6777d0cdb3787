#include "bin/tov-office-desktop/doctor.h"

#include "bin/tov-office-desktop/run_cli.h"
#include "cli_protocol/call_app.h"
#include "cli_protocol/client_identity.h"
#include "cli_protocol/control_file.h"
#include "cli_protocol/loopback.h"
#include "cli_protocol/records.h"
#include "json/json.h"
#include "platform/platform.h"
#include "text/unicode_text.h"

namespace tov::cli {
namespace {

// Whether the endpoint accepts a connection: true, or the error's text. The probe sends
// nothing, so the app sees a connection that closes at once.
json::Value probe(std::string_view socket_text) {
  auto stream = protocol::connect_with_timeouts(socket_text);
  if (!stream) return stream.error().message;
  stream->close();
  return true;
}

json::Value unavailable(std::string message) {
  return {{"ok", false}, {"error", {{"code", "Unavailable"}, {"message", std::move(message)}}}};
}

json::Value member_or_null(const json::Value& object, const char* key) {
  auto found = object.find(key);
  return found == object.end() ? json::Value() : *found;
}

json::Value answered(const protocol::Response& response) {
  const json::Value empty = json::Value::object();
  const json::Value& data = response.data && response.data->is_object() ? *response.data : empty;
  auto tabs = data.find("tabs");
  const bool counted = tabs != data.end() && tabs->is_array();
  return {{"ok", true},
          {"activeTab", member_or_null(data, "activeTab")},
          {"busy", member_or_null(data, "busy")},
          {"protocolVersion", member_or_null(data, "protocolVersion")},
          {"tabCount", counted ? json::Value(tabs->size()) : json::Value()}};
}

json::Value refused(const protocol::Response& response) {
  return {{"ok", false},
          {"error",
           response.error ? protocol::response_error_to_value(*response.error) : json::Value()}};
}

// What the app says to "status" on a second, fresh connection.
json::Value app_status(const protocol::Handshake& handshake,
                       std::optional<protocol::ClientIdentity> client) {
  auto stream = protocol::connect_with_timeouts(handshake.socket);
  if (!stream) {
    return unavailable("could not reach the app on " + handshake.socket + ": " +
                       stream.error().message);
  }
  auto response = protocol::call_app(handshake, std::move(*stream), "status", json::Value::object(),
                                     std::move(client));
  if (!response) return unavailable(response.error());
  return response->ok ? answered(*response) : refused(*response);
}

}  // namespace

std::expected<std::uint8_t, std::string> run_doctor(const CliOptions& options) {
  const auto path = protocol::control_file_path();
  if (!path) return std::unexpected("no data directory for this user");

  json::Value report = {
      {"appPid", nullptr},    {"appProtocolVersion", nullptr},
      {"appStatus", nullptr}, {"cliProtocolVersion", protocol::kControlProtocolVersion},
      {"endpoint", nullptr},  {"endpointReachable", nullptr}};
  // Why the file did not load is not part of the report; only that it did not.
  if (auto handshake = protocol::load_handshake(protocol::Face::Cli)) {
    report["endpointReachable"] = probe(handshake->socket);
    auto client = protocol::detect_client(
        options.client ? std::optional<std::string_view>(*options.client) : std::nullopt);
    report["appStatus"] = app_status(*handshake, std::move(client));
    report["endpoint"] = handshake->socket;
    report["appProtocolVersion"] = handshake->version;
    report["appPid"] = handshake->pid;
  }
  report["handshakeFile"] = text::lossy_utf8(*path);
  report["handshakePresent"] = platform::metadata(*path).has_value();

  print_json_line(report);
  return 0;
}

}  // namespace tov::cli
