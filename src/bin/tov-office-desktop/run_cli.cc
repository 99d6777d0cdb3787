#include "bin/tov-office-desktop/run_cli.h"

#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "bin/tov-office-desktop/cli_options.h"
#include "bin/tov-office-desktop/command_request.h"
#include "bin/tov-office-desktop/doctor.h"
#include "cli_protocol/app_launch.h"
#include "cli_protocol/call_app.h"
#include "cli_protocol/client_identity.h"
#include "cli_protocol/control_file.h"
#include "cli_protocol/records.h"
#include "json/json.h"
#include "mcp_server/mcp_server.h"
#include "platform/platform.h"
#include "text/unicode_text.h"

namespace tov::cli {
namespace {

// The first failed write to stdout (a full disk, a reader that has gone). What would follow
// it is skipped, so that the answer is never written with a hole in it; the run then ends
// with a failure that names it.
std::optional<platform::IoError> stdout_failure;

void write_out(std::string_view bytes) {
  if (stdout_failure) return;
  auto written = platform::write_stdout(bytes);
  if (!written) stdout_failure = std::move(written.error());
}
// A failed write to stderr has nowhere left to be reported, so it is dropped.
void write_err(std::string_view bytes) { (void)platform::write_stderr(bytes); }

// The exit code of a run, with the failure to write stdout as its last word: a script that
// keeps the output must not take an empty or cut file for an answer.
int finish(int code) {
  if (!stdout_failure) return code;
  write_err("error: could not write to stdout: " + stdout_failure->message + "\n");
  return 1;
}

void report_render_failure(const json::WriteError& error) {
  write_err("error: could not render the answer: " + error.message + "\n");
}

// One value as a compact line on stderr.
void print_error_line(const json::Value& value) {
  auto text = json::to_compact(value);
  if (!text) return report_render_failure(text.error());
  text->push_back('\n');
  write_err(*text);
}

// The app's data, which can be megabytes: printed where it lies, never copied, and written out
// in pieces rather than held whole as text. Data read from an answer always has a text (its
// strings are valid UTF-8, its numbers finite), so no piece goes out before a failure.
void print_data_line(const json::Value& data) {
  constexpr std::size_t kPieceBytes = 64 * 1024;
  auto written = json::write_compact_in_pieces(data, kPieceBytes, write_out);
  if (!written) return report_render_failure(written.error());
  write_out("\n");
}

void print_failure(std::string_view code, std::string_view message) {
  // A message can quote a path from the environment, whose bytes need not be UTF-8.
  const std::string text = text::lossy_utf8(message);
  print_error_line(protocol::response_to_value(protocol::Response::failure(code, text)));
}

void print_app_response(const protocol::Response& response) {
  if (response.ok) {
    if (!response.data) return print_json_line(json::Value());
    return print_data_line(*response.data);
  }
  if (response.error) return print_error_line(protocol::response_to_value(response));
  print_failure("ActionFailed", "The app reported a failure without a reason");
}

bool is_help_word(std::string_view word) {
  return word == "-h" || word == "help" || word == "--help";
}

std::string option_as_command_message(std::string_view command) {
  const std::string cmd(command);
  return "\u201C" + cmd +
         "\u201D is an option, not a command. Options go after the command, as in `status " + cmd +
         " \u2026`.";
}

// The process ends soon after an answer is printed. A large answer is millions of small
// blocks, and freeing them one by one takes a tenth of the run, so the answer is parked
// where nothing frees it and the system takes the memory back at exit.
void keep_until_exit(protocol::Response response) {
  static auto* const kept = new std::optional<protocol::Response>();
  *kept = std::move(response);
}

// Finds or starts the app, sends it the request and prints its answer.
std::expected<std::uint8_t, std::string> send_to_app(CommandRequest request,
                                                     const CliOptions& options) {
  auto handshake = protocol::locate_app();
  if (!handshake) return std::unexpected(handshake.error());
  auto client = protocol::detect_client(
      options.client ? std::optional<std::string_view>(*options.client) : std::nullopt);
  auto connection = protocol::connect_or_launch(protocol::Face::Cli, std::move(*handshake));
  if (!connection) return std::unexpected(connection.error());
  auto response = protocol::call_app(connection->handshake, std::move(connection->stream),
                                     request.op, std::move(request.params), std::move(client));
  if (!response) return std::unexpected(response.error());
  print_app_response(*response);
  const std::uint8_t code = response->ok ? 0 : 1;
  keep_until_exit(std::move(*response));
  return code;
}

}  // namespace

std::expected<std::uint8_t, std::string> run_cli(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    write_out(usage_text());
    return 1;
  }
  const std::string& command = args[1];
  if (is_help_word(command)) {
    write_out(usage_text());
    return 0;
  }
  if (command.starts_with("-")) return std::unexpected(option_as_command_message(command));
  if (command == "mcp") {
    auto served = mcp::serve_stdio();
    if (!served) return std::unexpected("mcp server stopped: " + served.error());
    return 0;
  }

  std::vector<std::string> rest(args.begin() + 2, args.end());
  if (asks_for_help(rest)) {
    write_out(usage_text() + "\nSelected command: " + command + "\n");
    return 0;
  }
  if (auto checked = check_command_options(command, rest); !checked) {
    return std::unexpected(checked.error());
  }
  auto options = parse_cli_options(std::move(rest));
  if (!options) return std::unexpected(options.error());
  if (command == "doctor") return run_doctor(*options);

  auto request = command_request(command, *options);
  if (!request) return std::unexpected(request.error());
  return send_to_app(std::move(*request), *options);
}

int cli_main(int argc, char** argv) {
  // The last line of defence: whatever a library throws still ends as one failure line.
  try {
    platform::init_process();
    auto args = platform::arguments(argc, argv);
    if (!args) {
      print_failure("BadRequest", args.error());
      return finish(1);
    }
    auto outcome = run_cli(*args);
    if (!outcome) {
      print_failure("BadRequest", outcome.error());
      return finish(1);
    }
    return finish(*outcome);
  } catch (const std::exception& e) {
    print_failure("BadRequest", e.what());
    return finish(1);
  }
}

void print_json_line(const json::Value& value) {
  auto text = json::to_compact(value);
  if (!text) return report_render_failure(text.error());
  text->push_back('\n');
  write_out(*text);
}

}  // namespace tov::cli
