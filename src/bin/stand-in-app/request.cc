#include "bin/stand-in-app/request.h"

namespace tov::standin {

namespace {

// Reads a request line (without its line feed); the failure is a message for the caller.
std::expected<IncomingRequest, std::string> read_request(std::string_view line) {
  auto value = json::parse(line);
  if (!value) return std::unexpected("the request is not valid JSON: " + value.error().message);
  if (!value->is_object()) return std::unexpected(std::string("the request is not a JSON object"));
  IncomingRequest request;
  auto token = value->find("token");
  if (token == value->end() || !token->is_string()) {
    return std::unexpected(std::string("the request has no \"token\" string"));
  }
  request.token = token->get<std::string>();
  auto op = value->find("op");
  if (op == value->end() || !op->is_string()) {
    return std::unexpected(std::string("the request has no \"op\" string"));
  }
  request.op = op->get<std::string>();
  if (auto params = value->find("params"); params != value->end()) request.params = *params;
  if (auto client = value->find("client"); client != value->end()) request.client = *client;
  return request;
}

}  // namespace

protocol::Response answer_request(std::string_view line, std::string_view token, TabModel& model) {
  auto request = read_request(line);
  if (!request) return protocol::Response::failure("BadRequest", request.error());
  if (request->token != token) {
    return protocol::Response::failure("Unauthorized", "the control token does not match");
  }
  if (auto answer = model.handle(request->op, request->params, request->client)) return *answer;
  json::Value echo = {{"op", request->op}, {"params", request->params}};
  if (request->client) echo["client"] = *request->client;
  protocol::Response response;
  response.ok = true;
  response.data = std::move(echo);
  return response;
}

std::string response_line(const protocol::Response& response) {
  auto text = json::to_compact(protocol::response_to_value(response));
  // Every value here came from parsed text or from our own words, so this cannot fail;
  // should it ever, the peer still gets a well-formed refusal.
  if (!text) return "{\"error\":{\"code\":\"Internal\",\"message\":\"unwritable answer\"},\"ok\":false}\n";
  return *text + "\n";
}

}  // namespace tov::standin
