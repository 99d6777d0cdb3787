#include "cli_protocol/records.h"

namespace tov::protocol {

namespace {

// Appends `"key":` to `out`.
std::expected<void, json::WriteError> append_key(std::string& out, std::string_view key) {
  auto written = json::append_string(out, key);
  if (written) out.push_back(':');
  return written;
}

std::expected<void, json::WriteError> append_string_entry(std::string& out, std::string_view key,
                                                          std::string_view value) {
  if (auto r = append_key(out, key); !r) return r;
  return json::append_string(out, value);
}

// {"id", then "version" and "label" when present}: the record's own order, not sorted.
std::expected<void, json::WriteError> append_client(std::string& out, const ClientIdentity& client) {
  out.push_back('{');
  if (auto r = append_string_entry(out, "id", client.id); !r) return r;
  if (client.version) {
    out.push_back(',');
    if (auto r = append_string_entry(out, "version", *client.version); !r) return r;
  }
  if (client.label) {
    out.push_back(',');
    if (auto r = append_string_entry(out, "label", *client.label); !r) return r;
  }
  out.push_back('}');
  return {};
}

std::expected<void, json::WriteError> append_request(std::string& out, const Request& request) {
  out.push_back('{');
  if (auto r = append_string_entry(out, "token", request.token); !r) return r;
  out.push_back(',');
  if (auto r = append_string_entry(out, "op", request.op); !r) return r;
  out.push_back(',');
  if (auto r = append_key(out, "params"); !r) return r;
  if (auto r = json::append_compact(out, request.params); !r) return r;
  if (request.client) {
    out.push_back(',');
    if (auto r = append_key(out, "client"); !r) return r;
    if (auto r = append_client(out, *request.client); !r) return r;
  }
  out.push_back('}');
  return {};
}

}  // namespace

Response Response::failure(std::string_view code, std::string_view message) {
  return Response{false, std::nullopt, ResponseError{std::string(code), std::string(message), std::nullopt}};
}

std::expected<std::string, json::WriteError> request_text(const Request& request) {
  // Most requests are short; the buffer grows for the rest.
  std::string out;
  out.reserve(128);
  if (auto r = append_request(out, request); !r) return std::unexpected(std::move(r.error()));
  return out;
}

json::Value response_to_value(const Response& response) {
  json::Value value = json::Value::object();
  value["ok"] = response.ok;
  if (response.data) value["data"] = *response.data;
  if (response.error) value["error"] = response_error_to_value(*response.error);
  return value;
}

json::Value response_error_to_value(const ResponseError& error) {
  json::Value value = json::Value::object();
  value["code"] = error.code;
  value["message"] = error.message;
  if (error.details) value["details"] = *error.details;
  return value;
}

}  // namespace tov::protocol
