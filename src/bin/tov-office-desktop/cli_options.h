// The command line's vocabulary: usage text, the per-command option table, the check and
// the parser.
#pragma once

#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tov::cli {

// The parsed options, each value exactly as typed.
struct CliOptions {
  std::optional<std::string> commands, file, request, request_file, path, format, target, options,
      base_revision, summary, operation_id, types, groups, type, client, required_checks, title,
      description, contact;
  bool compact = false;
  bool force = false;
  bool close_after_verified = false;
  bool diagnostics = false;
  bool full = false;
};

std::string usage_text();
bool asks_for_help(std::span<const std::string> args);
// The option table as the program holds it: one JSON text.
std::string_view control_command_options();
std::expected<void, std::string> check_command_options(std::string_view command,
                                                       std::span<const std::string> args);
std::expected<CliOptions, std::string> parse_cli_options(std::vector<std::string> args);

}  // namespace tov::cli
