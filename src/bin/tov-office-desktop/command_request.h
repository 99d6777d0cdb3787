// Turning one command and its options into the operation name and parameters for the app.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "bin/tov-office-desktop/cli_options.h"
#include "json/json.h"

namespace tov::cli {

struct CommandRequest {
  std::string op;
  json::Value params;  // always an object
};

std::expected<CommandRequest, std::string> command_request(std::string_view command,
                                                           const CliOptions& options);

}  // namespace tov::cli
