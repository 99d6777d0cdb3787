// The frame of one command-line run, and the only ways its answers reach the console.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "cli_protocol/records.h"
#include "json/json.h"

namespace tov::cli {

// `args` as the process got them, the program path first.
std::expected<std::uint8_t, std::string> run_cli(const std::vector<std::string>& args);
// The process entry's work: run_cli, then the exit code or a "BadRequest" failure line.
int cli_main(int argc, char** argv);

void print_app_response(const protocol::Response& response);
void print_failure(std::string_view code, std::string_view message);
void print_json_line(const json::Value& value);

}  // namespace tov::cli
