#include "bin/tov-office-desktop/command_request.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "text/unicode_text.h"
#include "text/utf8.h"

namespace tov::cli {
namespace {

using Params = std::expected<json::Value, std::string>;

// The largest integer that every JSON reader holds exactly (2^53 - 1).
constexpr std::uint64_t kMaxExactInteger = 9007199254740991ULL;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string needs(std::string_view command, std::string_view option) {
  return std::string(command) + " needs --" + std::string(option);
}

std::vector<std::string> split_at_commas(std::string_view text) {
  std::vector<std::string> pieces;
  for (;;) {
    const std::size_t comma = text.find(',');
    pieces.emplace_back(text::trim(text.substr(0, comma)));
    if (comma == std::string_view::npos) return pieces;
    text.remove_prefix(comma + 1);
  }
}

json::Value string_array(const std::vector<std::string>& items) {
  json::Value array = json::Value::array();
  for (const std::string& item : items) array.push_back(item);
  return array;
}

json::Value base_revision_value(std::string_view text) {
  const bool digits = !text.empty() && std::all_of(text.begin(), text.end(),
                                                   [](char c) { return c >= '0' && c <= '9'; });
  if (digits) {
    // Stops as soon as the limit is passed, so the sum never overflows.
    std::uint64_t value = 0;
    for (char c : text) {
      value = value * 10 + static_cast<std::uint64_t>(c - '0');
      if (value > kMaxExactInteger) return json::Value(std::string(text));
    }
    return json::Value(value);
  }
  return json::Value(std::string(text));
}

std::string resolve_failed_message(std::string_view path, std::string_view err) {
  return "could not resolve " + std::string(path) + ": " + std::string(err);
}

std::expected<std::string, std::string> absolute_path_text(std::string_view path) {
  if (platform::is_absolute(path)) return std::string(path);
  auto joined = platform::join_to_current_dir(path);
  if (!joined)
    return std::unexpected("could not resolve the current directory: " + joined.error().message);
  // Such a folder name cannot be sent as it is, and any stand-in for it names another folder.
  if (!text::is_valid_utf8(*joined))
    return std::unexpected(resolve_failed_message(path, "the current directory is not valid Unicode"));
  return std::move(*joined);
}

std::expected<std::vector<std::string>, std::string> split_comma_list(std::string_view text,
                                                                      std::string_view option) {
  std::vector<std::string> pieces = split_at_commas(text);
  std::erase_if(pieces, [](const std::string& piece) { return piece.empty(); });
  if (pieces.empty()) {
    return std::unexpected(std::string(option) + " needs at least one comma-separated value");
  }
  return pieces;
}

std::expected<json::Value, std::string> parse_json_labeled(std::string_view text,
                                                           std::string_view label) {
  std::string_view rest = text::trim(text);
  if (rest.starts_with(kByteOrderMark)) rest = text::trim(rest.substr(kByteOrderMark.size()));
  auto value = json::parse(rest);
  if (!value)
    return std::unexpected(std::string(label) + " is not valid JSON: " + value.error().message);
  return std::move(*value);
}

std::expected<std::string, std::string> read_text_file(std::string_view path) {
  const std::string name(path);
  auto bytes = platform::read_file(name);
  if (!bytes) return std::unexpected("could not read " + name + ": " + bytes.error().message);
  if (!text::is_valid_utf8(*bytes)) {
    return std::unexpected("could not read " + name + ": stream did not contain valid UTF-8");
  }
  return std::move(*bytes);
}

std::expected<std::string, std::string> read_stdin_text() {
  std::string text;
  std::array<char, 65536> buffer;
  for (;;) {
    auto got = platform::read_stdin(buffer);
    if (!got) return std::unexpected("could not read stdin: " + got.error().message);
    if (*got == 0) break;
    text.append(buffer.data(), *got);
  }
  if (!text::is_valid_utf8(text)) {
    return std::unexpected("could not read stdin: stream did not contain valid UTF-8");
  }
  return text;
}

// "--path" made absolute, refused as "<command> needs --path" when it is missing.
std::expected<std::string, std::string> required_path(std::string_view command,
                                                      const CliOptions& options) {
  if (!options.path) return std::unexpected(needs(command, "path"));
  return absolute_path_text(*options.path);
}

Params path_params(std::string_view command, const CliOptions& options) {
  auto path = required_path(command, options);
  if (!path) return std::unexpected(path.error());
  return json::Value{{"path", *path}};
}

Params empty_params(const CliOptions&) { return json::Value::object(); }

Params open_params(const CliOptions& options) { return path_params("open", options); }
Params save_as_params(const CliOptions& options) { return path_params("save-as", options); }
Params clone_params(const CliOptions& options) { return path_params("clone", options); }

Params new_params(const CliOptions& options) {
  if (!options.format) return std::unexpected(needs("new", "format"));
  return json::Value{{"format", *options.format}};
}

Params can_params(const CliOptions& options) {
  if (!options.type) return std::unexpected(needs("can", "type"));
  return json::Value{{"commandType", *options.type}};
}

Params operation_params(const CliOptions& options) {
  if (!options.operation_id) return std::unexpected(needs("operation", "operation-id"));
  return json::Value{{"operationId", *options.operation_id}};
}

Params save_verified_params(const CliOptions& options) {
  json::Value params = {{"closeAfterVerified", options.close_after_verified}};
  if (options.path) {
    auto path = absolute_path_text(*options.path);
    if (!path) return std::unexpected(path.error());
    params["path"] = *path;
  }
  // Unlike --types, empty pieces are kept: the app decides what an empty check means.
  if (options.required_checks)
    params["requiredChecks"] = string_array(split_at_commas(*options.required_checks));
  return params;
}

Params export_params(const CliOptions& options) {
  if (!options.path) return std::unexpected(needs("export", "path"));
  if (!options.format) return std::unexpected(needs("export", "format"));
  auto path = absolute_path_text(*options.path);
  if (!path) return std::unexpected(path.error());
  return json::Value{{"path", *path}, {"format", *options.format}};
}

Params register_media_params(const CliOptions& options) {
  if (!options.path) return std::unexpected(needs("register-media", "path"));
  auto canonical = platform::canonicalize(*options.path);
  if (!canonical)
    return std::unexpected(resolve_failed_message(*options.path, canonical.error().message));
  if (!text::is_valid_utf8(*canonical))
    return std::unexpected(resolve_failed_message(*options.path, "the canonical path is not valid Unicode"));
  return json::Value{{"source", {{"path", std::move(*canonical)}}}};
}

Params feedback_params(const CliOptions& options) {
  if (!options.title) return std::unexpected(needs("feedback", "title"));
  if (!options.description) return std::unexpected(needs("feedback", "description"));
  json::Value params = {{"title", *options.title}, {"description", *options.description}};
  if (options.type) params["type"] = *options.type;
  if (options.contact) params["contact"] = *options.contact;
  return params;
}

Params close_params(const CliOptions& options) { return json::Value{{"force", options.force}}; }

Params select_tab_params(const CliOptions& options) {
  if (!options.target) return std::unexpected(needs("select-tab", "target"));
  return json::Value{{"target", *options.target}};
}

// The text of a complete execute request, from --request or --request-file.
std::expected<std::string, std::string> complete_request_text(const CliOptions& options) {
  if (options.request) {
    if (*options.request == "-") return read_stdin_text();
    if (platform::is_regular_file(*options.request)) {
      return std::unexpected("--request expects inline JSON or '-'; use --request-file for a path");
    }
    return *options.request;
  }
  return read_text_file(*options.request_file);
}

Params complete_request(const CliOptions& options) {
  if (options.request && options.request_file) {
    return std::unexpected("pass either --request or --request-file, not both");
  }
  if (options.commands || options.file || options.options || options.base_revision ||
      options.summary || options.operation_id || options.diagnostics) {
    return std::unexpected(
        "a complete --request cannot be combined with command or execute-option flags");
  }
  auto text = complete_request_text(options);
  if (!text) return std::unexpected(text.error());
  auto request = parse_json_labeled(*text, "the execute request");
  if (!request) return request;
  if (!request->is_object()) return std::unexpected("the execute request must be a JSON object");
  if (!request->contains("commands")) {
    return std::unexpected("the execute request needs a \u201Ccommands\u201D property");
  }
  return request;
}

Params action_batch(const CliOptions& options) {
  if (!options.commands && !options.file)
    return std::unexpected("execute needs --commands or --file");
  if (options.commands && options.file) {
    return std::unexpected("pass either --commands or --file, not both");
  }
  std::expected<std::string, std::string> text =
      options.file               ? read_text_file(*options.file)
      : *options.commands == "-" ? read_stdin_text()
                                 : std::expected<std::string, std::string>(*options.commands);
  if (!text) return std::unexpected(text.error());
  auto commands = parse_json_labeled(*text, "the action batch");
  if (!commands) return commands;

  json::Value params = {{"commands", std::move(*commands)}};
  json::Value editor_options = json::Value::object();
  if (options.options) {
    auto parsed = parse_json_labeled(*options.options, "--options");
    if (!parsed) return parsed;
    if (!parsed->is_object()) return std::unexpected("--options must be a JSON object");
    editor_options = std::move(*parsed);
  }
  if (options.base_revision) params["baseRevision"] = base_revision_value(*options.base_revision);
  if (options.summary) params["summary"] = *options.summary;
  if (options.diagnostics) params["diagnostics"] = true;
  if (options.operation_id) params["operationId"] = *options.operation_id;
  if (!editor_options.empty()) params["options"] = std::move(editor_options);
  return params;
}

std::expected<json::Value, std::string> manifest_params(const CliOptions& options) {
  if (options.full) {
    if (options.types || options.groups) {
      return std::unexpected("manifest --full cannot be combined with --types or --groups");
    }
    return json::Value{{"full", true}};
  }
  json::Value params = json::Value::object();
  if (options.types) {
    auto types = split_comma_list(*options.types, "--types");
    if (!types) return std::unexpected(types.error());
    params["types"] = string_array(*types);
  }
  if (options.groups) {
    auto groups = split_comma_list(*options.groups, "--groups");
    if (!groups) return std::unexpected(groups.error());
    params["groups"] = string_array(*groups);
  }
  return params;
}

std::expected<json::Value, std::string> execute_params(const CliOptions& options) {
  if (options.request || options.request_file) return complete_request(options);
  return action_batch(options);
}

struct CommandRow {
  std::string_view command;
  std::string_view op;
  Params (*build)(const CliOptions&);
  bool base_revision;  // sends --base-revision as "baseRevision"
};

constexpr std::array<CommandRow, 18> kCommands = {{
    {"status", "status", empty_params, false},
    {"open", "open", open_params, false},
    {"new", "new", new_params, false},
    {"manifest", "manifest", manifest_params, false},
    {"can", "can", can_params, false},
    {"execute", "execute", execute_params, false},
    {"operation", "operation", operation_params, false},
    {"undo", "undo", empty_params, false},
    {"redo", "redo", empty_params, false},
    {"save", "save", empty_params, true},
    {"save-as", "saveAs", save_as_params, true},
    {"clone", "document.clone", clone_params, true},
    {"save-verified", "save-verified", save_verified_params, true},
    {"export", "export", export_params, true},
    {"register-media", "mediaRegister", register_media_params, false},
    {"feedback", "feedback", feedback_params, false},
    {"close", "close", close_params, false},
    {"select-tab", "selectTab", select_tab_params, false},
}};

}  // namespace

std::expected<CommandRequest, std::string> command_request(std::string_view command,
                                                           const CliOptions& options) {
  auto row = std::find_if(kCommands.begin(), kCommands.end(),
                          [&](const CommandRow& r) { return r.command == command; });
  if (row == kCommands.end()) return std::unexpected("unknown command " + std::string(command));

  auto params = row->build(options);
  if (!params) return std::unexpected(params.error());
  // Every command forwards --target; select-tab's own parameter is this same value.
  if (options.target) (*params)["target"] = *options.target;
  if (row->base_revision && options.base_revision) {
    (*params)["baseRevision"] = base_revision_value(*options.base_revision);
  }
  // Checked last, so that a bad path is reported before the missing id.
  if (command == "clone") {
    if (!options.operation_id) return std::unexpected(needs("clone", "operation-id"));
    (*params)["operationId"] = *options.operation_id;
  }
  return CommandRequest{std::string(row->op), std::move(*params)};
}

}  // namespace tov::cli
