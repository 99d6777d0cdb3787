// The frame of one command-line run. Its answers reach the console only through the printers
// of run_cli.cc; print_json_line is the one that doctor shares.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <vector>

#include "json/json_fwd.h"

namespace tov::cli {

// `args` as the process got them, the program path first.
std::expected<std::uint8_t, std::string> run_cli(const std::vector<std::string>& args);
// The process entry's work: run_cli, then the exit code or a "BadRequest" failure line; a
// write to stdout that failed makes it a failure, named in one more line on stderr.
int cli_main(int argc, char** argv);

void print_json_line(const json::Value& value);

}  // namespace tov::cli
