// One request line as the stand-in app reads it, and the answer it gives.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "bin/stand-in-app/tab_model.h"
#include "cli_protocol/records.h"
#include "json/json.h"

namespace tov::standin {

struct IncomingRequest {
  std::string token;
  std::string op;
  json::Value params;                 // null when the request had none
  std::optional<json::Value> client;  // absent when the request had none
};

// The answer to one request line: refused when it does not read or its token is not
// `token`; else the model's answer, or an echo of what arrived for operations it does not
// model.
protocol::Response answer_request(std::string_view line, std::string_view token, TabModel& model);

// The answer as one line, line feed included.
std::string response_line(const protocol::Response& response);

}  // namespace tov::standin
