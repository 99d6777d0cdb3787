// The command line's check, parser and request builder on arbitrary argument lists (the
// input split at NUL bytes, the command first). Options that read a file or stdin are taken
// out first, so that a run touches nothing: --file, --request-file, "-" as the value of
// --commands or --request, and register-media's --path.
#pragma once

#include <string>
#include <vector>

#include "bin/tov-office-desktop/cli_options.h"
#include "bin/tov-office-desktop/command_request.h"
#include "json/json.h"
#include "property.h"
#include "text/utf8.h"

namespace tov::fuzzing {
namespace cli_options {

inline std::vector<std::string> split_at_nul(std::string_view input) {
  std::vector<std::string> pieces;
  for (;;) {
    const std::size_t nul = input.find('\0');
    pieces.emplace_back(input.substr(0, nul));
    if (nul == std::string_view::npos) return pieces;
    input.remove_prefix(nul + 1);
  }
}

inline bool reaches_files(std::string_view command, const std::string& option,
                          const std::string* value) {
  if (option == "--file" || option == "--request-file") return true;
  if ((option == "--commands" || option == "--request") && value && *value == "-") return true;
  return command == "register-media" && option == "--path";
}

inline std::vector<std::string> without_file_access(std::string_view command,
                                                    const std::vector<std::string>& args) {
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string* value = i + 1 < args.size() ? &args[i + 1] : nullptr;
    if (reaches_files(command, args[i], value)) {
      ++i;  // and its value
      continue;
    }
    kept.push_back(args[i]);
  }
  return kept;
}

}  // namespace cli_options

inline void check_cli_options(std::string_view input, Verdict& verdict) {
  // The program's arguments are Unicode text by the time they reach the parser.
  if (!text::is_valid_utf8(input)) return;
  const std::vector<std::string> pieces = cli_options::split_at_nul(input);
  const std::string& command = pieces.front();
  const std::vector<std::string> args = cli_options::without_file_access(
      command, std::vector<std::string>(pieces.begin() + 1, pieces.end()));

  (void)cli::asks_for_help(args);
  auto checked = cli::check_command_options(command, args);
  if (!checked) {
    verdict.require(!checked.error().empty(), "a refusal has a message");
    return;
  }
  auto options = cli::parse_cli_options(args);
  if (!options) {
    verdict.require(!options.error().empty(), "a refusal has a message");
    return;
  }
  if (command == "doctor") return;  // doctor goes to the app, not through a request

  auto request = cli::command_request(command, *options);
  if (!request) {
    verdict.require(!request.error().empty(), "a refusal has a message");
    return;
  }
  verdict.require(!request->op.empty(), "a request names its operation", command);
  verdict.require(request->params.is_object(), "parameters are always an object", command);
  verdict.require(json::to_compact(request->params).has_value(), "parameters write as JSON");
}

}  // namespace tov::fuzzing
