#include "bin/tov-office-desktop/cli_options.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "cli_protocol/brand.h"
#include "json/json.h"
#include "text/unicode_text.h"

namespace tov::cli {
namespace {

// What help prints. "{app}" becomes the product name and "{cli}" this program's file name.
constexpr std::string_view kUsageTemplate = R"usage({cli} — drive an open artifact in {app}

USAGE
    {cli} <command> [options]

COMMANDS
    status                     Registered formats and open tabs
    open --path <file>         Open a supported artifact in a new tab
    new --format <fmt>         Start an empty writable format from status
    manifest                   Compact command index for one open artifact
    can --type <command>       Preflight one command in the current tab
    execute --commands <json>  Run one action or a batch of them
    operation --operation-id <id>
                               Read a remembered operation status
    undo                       Undo the last transaction in one tab
    redo                       Redo the next transaction in one tab
    save                       Write the open document back to its own path
    clone --path <file> --base-revision <n> --operation-id <id>
                              Verify and copy without changing the source
    save-as --path <file>      Write to a new path; returns new epoch/revision
    save-verified [--path <f>] [--close-after-verified]
                               Save, verify disk bytes/reimport and optionally close
    --required-checks <list>   Verification requirements; default package,reimport
    export --path <f> --format <fmt>
                               Export a copy without changing what is open
    register-media --path <f>  Register an image and return its DOCX assetId
    feedback --title <t> --description <d>
                               Report a problem or an idea about this app
    --type <bug|suggestion|question|other>
                               What the report is; default bug. A build that
                               files only bugs and suggestions narrows the rest
    --contact <text>           Optional reply address for that report
    close [--force]            Close a tab; --force discards unsaved changes
    select-tab --target <id>   Bring a tab to the front
    doctor                     Show how the CLI is reaching the app
    mcp                        Serve MCP over stdio so an agent can drive the app

OPTIONS
    --path <file>       Document to open, or a destination for save-as/export.
    --format <fmt>      Format for new or export.
    --target <tab>      Tab id from `status`. Omit for the active tab.
    --force             With close: discard unsaved changes.
    --commands <json>   Action batch as JSON. Use - to read stdin.
    --file <path>       Read the action batch from a file instead.
    --request <json>    Complete execute request. Use - to read stdin.
    --request-file <p>  Read a complete execute request from a file.
    --options <json>    Execute options passed through to the editor.
    --base-revision <n> Latest revision for a write, without JSON quoting.
    --summary <text>    User-facing activity summary, without JSON quoting.
    --diagnostics       Ask a write to return layout diagnostics.
    --operation-id <id> Idempotency key for execute, or id queried by operation.
    --types <a,b>       With manifest: full schemas for exact command types.
    --type <command>    With can: command type to preflight.
    --groups <a,b>      With manifest: compact commands in these groups.
    --full              With manifest: the complete legacy manifest.
    --compact           Accepted for explicit single-line JSON (the default).
    --client <id[/ver]> Override the agent name shown in the app's activity
                        panel. Detected from the environment otherwise.

EXAMPLES
    {cli} open --path ~/Documents/report.docx
    {cli} manifest --compact
    echo '[{"type":"context.get"}]' | {cli} execute --commands -
    {cli} manifest --types text.insertRich,paragraph.format
    {cli} execute --file actions.json --base-revision 3 --summary "Update summary"

CLI control is on for as long as the app runs.
)usage";

// Which options each command accepts, besides the global --compact and --client.
constexpr std::string_view kCommandOptions = R"table({
	"new": ["format"],
	"open": ["path"],
	"status": ["target"],
	"manifest": ["target", "types", "groups", "full"],
	"can": ["target", "type"],
	"execute": [
		"target",
		"commands",
		"file",
		"request",
		"request-file",
		"options",
		"base-revision",
		"summary",
		"diagnostics",
		"operation-id"
	],
	"save": ["target", "base-revision"],
	"save-as": ["target", "path", "base-revision"],
	"export": ["target", "path", "format", "base-revision"],
	"close": ["target", "force"],
	"select-tab": ["target"],
	"undo": ["target"],
	"redo": ["target"],
	"operation": ["target", "operation-id"],
	"register-media": ["target", "path"],
	"save-verified": ["target", "path", "base-revision", "close-after-verified", "required-checks"],
	"clone": ["target", "path", "base-revision", "operation-id"],
	"feedback": ["title", "description", "type", "contact"]
}
)table";

// Options that take no value.
constexpr std::array<std::string_view, 5> kFlags = {"full", "force", "compact", "diagnostics",
                                                    "close-after-verified"};

bool is_flag(std::string_view name) {
  for (std::string_view flag : kFlags) {
    if (flag == name) return true;
  }
  return false;
}

// Where each option lands in CliOptions.
struct ValueOption {
  std::string_view word;
  std::optional<std::string> CliOptions::*field;
};

struct FlagOption {
  std::string_view word;
  bool CliOptions::*field;
};

constexpr std::array<ValueOption, 19> kValueOptions = {{
    {"--commands", &CliOptions::commands},
    {"--file", &CliOptions::file},
    {"--request", &CliOptions::request},
    {"--request-file", &CliOptions::request_file},
    {"--path", &CliOptions::path},
    {"--format", &CliOptions::format},
    {"--target", &CliOptions::target},
    {"--options", &CliOptions::options},
    {"--base-revision", &CliOptions::base_revision},
    {"--summary", &CliOptions::summary},
    {"--operation-id", &CliOptions::operation_id},
    {"--types", &CliOptions::types},
    {"--groups", &CliOptions::groups},
    {"--type", &CliOptions::type},
    {"--client", &CliOptions::client},
    {"--required-checks", &CliOptions::required_checks},
    {"--title", &CliOptions::title},
    {"--description", &CliOptions::description},
    {"--contact", &CliOptions::contact},
}};

constexpr std::array<FlagOption, 5> kFlagOptions = {{
    {"--compact", &CliOptions::compact},
    {"--force", &CliOptions::force},
    {"--close-after-verified", &CliOptions::close_after_verified},
    {"--diagnostics", &CliOptions::diagnostics},
    {"--full", &CliOptions::full},
}};

void replace_all(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// The names a command accepts, from the table; none when the word is no key of it.
std::optional<std::vector<std::string>> accepted_options(std::string_view command) {
  auto table = json::parse(kCommandOptions);
  if (!table || !table->is_object()) return std::nullopt;
  auto entry = table->find(std::string(command));
  if (entry == table->end()) return std::nullopt;
  std::vector<std::string> names;
  if (entry->is_array()) {
    for (const auto& name : *entry) {
      if (name.is_string()) names.push_back(name.get<std::string>());
    }
  }
  return names;
}

// The value after a value option: present, not blank, and not itself an option word.
bool has_value(std::span<const std::string> args, std::size_t at) {
  if (at + 1 >= args.size()) return false;
  const std::string& value = args[at + 1];
  return !text::trim(value).empty() && !value.starts_with("--");
}

}  // namespace

std::string usage_text() {
  std::string text(kUsageTemplate);
  replace_all(text, "{app}", protocol::brand_product_name());
  replace_all(text, "{cli}", protocol::program_file_name());
  return text;
}

bool asks_for_help(std::span<const std::string> args) {
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") return true;
  }
  return false;
}

std::string_view control_command_options() { return kCommandOptions; }

std::expected<void, std::string> check_command_options(std::string_view command,
                                                       std::span<const std::string> args) {
  auto accepted = accepted_options(command);
  const bool doctor = !accepted && command == "doctor";
  if (!accepted && !doctor) return std::unexpected("unknown command " + std::string(command));
  const std::vector<std::string> names = accepted.value_or(std::vector<std::string>{});

  std::size_t at = 0;
  while (at < args.size()) {
    const std::string& arg = args[at];
    if (arg.size() < 2 || !arg.starts_with("--")) {
      return std::unexpected("unexpected argument " + arg);
    }
    const std::string_view name = std::string_view(arg).substr(2);
    if (name == "compact") {
      at += 1;
      continue;
    }
    if (name != "client") {
      const bool listed = std::find(names.begin(), names.end(), name) != names.end();
      if (doctor || !listed) {
        return std::unexpected(std::string(command) + " does not accept " + arg);
      }
      if (is_flag(name)) {
        at += 1;
        continue;
      }
    }
    if (!has_value(args, at)) return std::unexpected(arg + " needs a value");
    at += 2;
  }
  return {};
}

std::expected<CliOptions, std::string> parse_cli_options(std::vector<std::string> args) {
  CliOptions options;
  std::unordered_set<std::string> seen;
  for (std::size_t at = 0; at < args.size(); ++at) {
    const std::string& word = args[at];
    if (!seen.insert(word).second) return std::unexpected("duplicate option " + word);

    auto flag = std::find_if(kFlagOptions.begin(), kFlagOptions.end(),
                             [&](const FlagOption& o) { return o.word == word; });
    if (flag != kFlagOptions.end()) {
      options.*(flag->field) = true;
      continue;
    }
    auto value = std::find_if(kValueOptions.begin(), kValueOptions.end(),
                              [&](const ValueOption& o) { return o.word == word; });
    // Only reachable with a list that skipped the check.
    if (value == kValueOptions.end()) return std::unexpected("unexpected argument " + word);
    if (at + 1 >= args.size()) return std::unexpected(word + " needs a value");
    options.*(value->field) = std::move(args[++at]);
  }
  return options;
}

}  // namespace tov::cli
