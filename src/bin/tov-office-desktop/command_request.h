// Turning one command and its options into the operation name and parameters for the app.
#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "bin/tov-office-desktop/cli_options.h"
#include "json/json.h"

namespace tov::cli {

struct CommandRequest {
  std::string op;
  json::Value params;  // always an object
};

std::expected<CommandRequest, std::string> command_request(std::string_view command,
                                                           const CliOptions& options);

std::expected<json::Value, std::string> manifest_params(const CliOptions& options);
std::expected<json::Value, std::string> execute_params(const CliOptions& options);
json::Value base_revision_value(std::string_view text);
std::expected<std::string, std::string> absolute_path_text(std::string_view path);
std::expected<std::vector<std::string>, std::string> split_comma_list(std::string_view text,
                                                                      std::string_view option);
std::expected<json::Value, std::string> parse_json_labeled(std::string_view text,
                                                           std::string_view label);
std::expected<std::string, std::string> read_text_file(std::string_view path);
std::expected<std::string, std::string> read_stdin_text();
std::string resolve_failed_message(std::string_view path, std::string_view err);

}  // namespace tov::cli
