// The records that travel on the control channel, and the control file's record.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "json/json.h"

namespace tov::protocol {

// The control file cli-control.json that the running app publishes.
struct Handshake {
  std::uint32_t version = 0;
  std::string socket;
  std::string token;
  std::uint32_t pid = 0;
};

// The calling agent, sent as a request's "client".
struct ClientIdentity {
  std::string id;
  std::optional<std::string> version;
  std::optional<std::string> label;

  bool operator==(const ClientIdentity&) const = default;
};

// One request to the app; written field by field, in this order.
struct Request {
  std::string token;
  std::string op;
  json::Value params;
  std::optional<ClientIdentity> client;
};

struct ResponseError {
  std::string code;
  std::string message;
  std::optional<json::Value> details;  // a JSON null reads as absent
};

struct Response {
  bool ok = false;
  std::optional<json::Value> data;  // a JSON null reads as absent
  std::optional<ResponseError> error;

  // A failure of our own making: ok false, no data, an error without details.
  static Response failure(std::string_view code, std::string_view message);
};

// Reading a whole text as one record, with the JSON library's record-mapping rules and
// messages (missing, duplicate and unknown fields, invalid types and lengths, positions).
std::expected<Handshake, json::ReadError> read_handshake(std::string_view text);
std::expected<Response, json::ReadError> read_response_record(std::string_view text);

// The compact text of a request, without the final line feed.
std::expected<std::string, json::WriteError> request_text(const Request& request);

// Objects for printing: absent members leave no key.
json::Value response_to_value(const Response& response);
json::Value response_error_to_value(const ResponseError& error);

}  // namespace tov::protocol
