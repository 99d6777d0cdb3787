#include "bin/tov-office-desktop/cli_options.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "cli_protocol/brand.h"
#include "json/json.h"

namespace tov::cli {
namespace {

// Replaces every `from` in `text`; returns how many there were.
int replace_all(std::string& text, std::string_view from, std::string_view to) {
  int n = 0;
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()), ++n) {
    text.replace(at, from.size(), to);
  }
  return n;
}

// Byte for byte what help prints, with "{cli}" and "{app}" standing for the brand's names.
constexpr std::string_view kExpectedUsage = R"usage({cli} — drive an open artifact in {app}

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

TEST(UsageText, IsTheExactTextWithTheBrandNames) {
  const std::string cli = protocol::program_file_name();
  const std::string app = protocol::brand_product_name();
  std::string expected(kExpectedUsage);
  replace_all(expected, "{app}", app);
  replace_all(expected, "{cli}", cli);
  EXPECT_EQ(usage_text(), expected);
}

TEST(CommandOptionsTable, IsTheTabIndentedTextOfEighteenCommands) {
  const std::string_view text = control_command_options();
  EXPECT_EQ(text.size(), 854u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 31);
  EXPECT_TRUE(text.starts_with("{\n\t\"new\": [\"format\"],\n")) << text;

  auto table = json::parse(text);
  ASSERT_TRUE(table.has_value());
  ASSERT_TRUE(table->is_object());
  EXPECT_EQ(table->size(), 18u);
  EXPECT_FALSE(table->contains("doctor"));
  EXPECT_EQ((*table)["execute"].size(), 10u);
}

TEST(AsksForHelp, OnlyTheExactWords) {
  struct Case {
    std::vector<std::string> args;
    bool help;
  };
  const Case cases[] = {
      {{}, false},
      {{"-h"}, true},
      {{"--target", "--help"}, true},
      {{"--summary", "-h", "--x"}, true},
      {{"help"}, false},
      {{"--HELP"}, false},
      {{" -h"}, false},
      {{"--help "}, false},
      {{"-help"}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(asks_for_help(c.args), c.help) << ::testing::PrintToString(c.args);
  }
}

TEST(CheckCommandOptions, RefusesWithTheExactMessage) {
  struct Case {
    std::string command;
    std::vector<std::string> args;
    std::string error;  // empty: accepted
  };
  const Case cases[] = {
      {"status", {}, ""},
      {"statu", {}, "unknown command statu"},
      {"", {}, "unknown command "},
      {"mcp", {}, "unknown command mcp"},
      {"status", {"--target"}, "--target needs a value"},
      {"status", {"--target", ""}, "--target needs a value"},
      {"status", {"--target", "\u3000"}, "--target needs a value"},
      {"status", {"--target", "--compact"}, "--target needs a value"},
      {"status", {"--target", "-"}, ""},
      {"status", {"--target", " --x"}, ""},
      {"status", {"target"}, "unexpected argument target"},
      {"status", {"-"}, "unexpected argument -"},
      {"status", {"--"}, "status does not accept --"},
      {"status", {"--path", "x"}, "status does not accept --path"},
      {"status", {"--target=1"}, "status does not accept --target=1"},
      {"close", {"--force", "yes"}, "unexpected argument yes"},
      {"manifest", {"--full", "--types", "a"}, ""},
      {"doctor", {"--client", "codex/2", "--compact"}, ""},
      {"doctor", {"--target", "1"}, "doctor does not accept --target"},
      {"doctor", {"--client"}, "--client needs a value"},
      {"feedback", {"--client", "x", "--compact", "--title", "t"}, ""},
      {"feedback", {"--target", "1"}, "feedback does not accept --target"},
      {"open", {"--compact", "--compact"}, ""},  // duplicates are the parser's
      {"status", {"--client", "a", "--bogus"}, "status does not accept --bogus"},
      {"execute", {"--summary", "--help"}, "--summary needs a value"},
      {"save-verified", {"--close-after-verified", "--required-checks", "a,,b"}, ""},
      {"undo", {"--full"}, "undo does not accept --full"},
  };
  for (const Case& c : cases) {
    auto checked = check_command_options(c.command, c.args);
    if (c.error.empty()) {
      EXPECT_TRUE(checked.has_value()) << c.command << ": " << checked.error();
    } else {
      ASSERT_FALSE(checked.has_value()) << c.command << " " << ::testing::PrintToString(c.args);
      EXPECT_EQ(checked.error(), c.error);
    }
  }
}

TEST(CheckCommandOptions, EveryTableNameIsAccepted) {
  auto table = json::parse(control_command_options());
  ASSERT_TRUE(table.has_value());
  for (const auto& [command, names] : table->items()) {
    for (const auto& name : names) {
      const std::string word = "--" + name.get<std::string>();
      auto checked = check_command_options(command, std::vector<std::string>{word, "v"});
      // A flag followed by a value fails on the value, never on the flag.
      if (!checked) {
        EXPECT_EQ(checked.error(), "unexpected argument v") << command << " " << word;
      }
    }
  }
}

TEST(ParseCliOptions, RefusesDuplicateOptionWords) {
  struct Case {
    std::vector<std::string> args;
    std::string error;  // empty: accepted
  };
  const Case cases[] = {
      {{"--compact", "--compact"}, "duplicate option --compact"},
      {{"--format", "a", "--format", "b"}, "duplicate option --format"},
      {{"--target", "--x", "--path", "--target"}, ""},  // a value is no option word
      {{"--target", "--path", "--path", "p"}, ""},
      {{"--client", "a", "--force", "--client", "b"}, "duplicate option --client"},
  };
  for (const Case& c : cases) {
    auto parsed = parse_cli_options(c.args);
    if (c.error.empty()) {
      EXPECT_TRUE(parsed.has_value()) << ::testing::PrintToString(c.args);
    } else {
      ASSERT_FALSE(parsed.has_value()) << ::testing::PrintToString(c.args);
      EXPECT_EQ(parsed.error(), c.error);
    }
  }
}

}  // namespace
}  // namespace tov::cli
