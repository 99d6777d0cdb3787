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

TEST(UsageText, TemplateHasItsExactShape) {
  const std::string cli = protocol::program_file_name();
  const std::string app = protocol::brand_product_name();
  std::string usage = usage_text();
  EXPECT_TRUE(usage.starts_with(cli + " \u2014 drive an open artifact in " + app + "\n"));
  EXPECT_TRUE(usage.ends_with("\n\nCLI control is on for as long as the app runs.\n"));
  // Undo the substitution to measure the template itself.
  EXPECT_EQ(replace_all(usage, cli, "{cli}"), 7);
  EXPECT_EQ(replace_all(usage, app, "{app}"), 1);
  EXPECT_EQ(usage.size(), 3880u);
  EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 67);
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
