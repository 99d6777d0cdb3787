#include "bin/tov-office-desktop/cli_options.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "cli_protocol/control_call.h"
#include "json/json.h"

namespace tov::cli {
namespace {

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    lines.emplace_back(text.substr(start, end - start));
    start = end == std::string_view::npos ? text.size() : end + 1;
  }
  return lines;
}

void replace_all(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

std::size_t count_of(std::string_view text, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string_view::npos;
       at = text.find(what, at + what.size())) {
    ++n;
  }
  return n;
}

std::size_t indent_of(std::string_view line) { return line.find_first_not_of(' '); }

TEST(UsageText, TemplateHasItsExactShape) {
  const std::string cli = protocol::program_file_name();
  const std::string app = protocol::brand_product_name();
  const std::string usage = usage_text();

  EXPECT_TRUE(usage.starts_with(cli + " \u2014 drive an open artifact in " + app + "\n"));
  EXPECT_TRUE(usage.ends_with("\n\nCLI control is on for as long as the app runs.\n"));
  EXPECT_EQ(count_of(usage, cli), 7u);

  // Undo the substitution to measure the template itself.
  std::string model = usage;
  replace_all(model, cli, "{cli}");
  replace_all(model, app, "{app}");
  EXPECT_EQ(model.size(), 3880u);
  EXPECT_EQ(count_of(model, "{cli}"), 7u);
  EXPECT_EQ(count_of(model, "{app}"), 1u);
  EXPECT_EQ(std::count(model.begin(), model.end(), '\n'), 67);
}

TEST(UsageText, ContinuationLinesKeepTheirIndent) {
  const std::vector<std::string> lines = lines_of(usage_text());
  ASSERT_EQ(lines.size(), 67u);
  struct Case {
    std::string_view after;  // the line above the continuation
    std::size_t indent;
  };
  const Case cases[] = {
      {"    operation --operation-id <id>", 31},
      {"    clone --path <file> --base-revision <n> --operation-id <id>", 30},
      {"    save-verified [--path <f>] [--close-after-verified]", 31},
      {"    export --path <f> --format <fmt>", 31},
      {"    feedback --title <t> --description <d>", 31},
      {"    --type <bug|suggestion|question|other>", 31},
      {"                               What the report is; default bug. A build that", 31},
      {"    --client <id[/ver]> Override the agent name shown in the app's activity", 24},
  };
  for (const Case& c : cases) {
    auto it = std::find(lines.begin(), lines.end(), c.after);
    ASSERT_NE(it, lines.end()) << c.after;
    ASSERT_NE(it + 1, lines.end());
    EXPECT_EQ(indent_of(*(it + 1)), c.indent) << c.after;
  }
  for (const std::string& line : lines) {
    EXPECT_FALSE(!line.empty() && line.back() == ' ') << "trailing space: " << line;
  }
}

TEST(CommandOptionsTable, IsTheTabIndentedTextOfEighteenCommands) {
  const std::string_view text = control_command_options();
  EXPECT_EQ(text.size(), 854u);
  EXPECT_TRUE(text.ends_with("}\n"));
  const std::vector<std::string> lines = lines_of(text);
  EXPECT_EQ(lines.size(), 31u);
  EXPECT_EQ(lines[1], "\t\"new\": [\"format\"],");
  EXPECT_EQ(lines[6], "\t\"execute\": [");
  EXPECT_EQ(lines[7], "\t\t\"target\",");

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
      {"Status", {"--target", "1"}, "unknown command Status"},
      {"", {}, "unknown command "},
      {"mcp", {}, "unknown command mcp"},
      {"status", {"--target"}, "--target needs a value"},
      {"status", {"--target", ""}, "--target needs a value"},
      {"status", {"--target", "  \t "}, "--target needs a value"},
      {"status", {"--target", "\u3000"}, "--target needs a value"},
      {"status", {"--target", "--compact"}, "--target needs a value"},
      {"status", {"--target", "-"}, ""},
      {"status", {"--target", " --x"}, ""},
      {"status", {"target"}, "unexpected argument target"},
      {"status", {"-t"}, "unexpected argument -t"},
      {"status", {"-"}, "unexpected argument -"},
      {"status", {"--"}, "status does not accept --"},
      {"status", {"--path", "x"}, "status does not accept --path"},
      {"status", {"--target=1"}, "status does not accept --target=1"},
      {"close", {"--force", "yes"}, "unexpected argument yes"},
      {"close", {"--force", "--target", "t"}, ""},
      {"manifest", {"--full", "--types", "a"}, ""},
      {"doctor", {}, ""},
      {"doctor", {"--client", "codex/2", "--compact"}, ""},
      {"doctor", {"--target", "1"}, "doctor does not accept --target"},
      {"doctor", {"--client"}, "--client needs a value"},
      {"feedback", {"--client", "x", "--compact", "--title", "t"}, ""},
      {"feedback", {"--target", "1"}, "feedback does not accept --target"},
      {"open", {"--compact", "--compact"}, ""},  // duplicates are the parser's
      {"new", {"--format", "docx", "--format", "x"}, ""},
      {"status", {"--client", "a", "--bogus"}, "status does not accept --bogus"},
      {"execute", {"--summary", "--help"}, "--summary needs a value"},
      {"save-verified", {"--close-after-verified", "--required-checks", "a,,b"}, ""},
      {"execute", {"--diagnostics", "--commands", "[]"}, ""},
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

TEST(ParseCliOptions, FillsEachField) {
  auto parsed = parse_cli_options({"--commands",
                                   "c",
                                   "--file",
                                   "f",
                                   "--request",
                                   "r",
                                   "--request-file",
                                   "rf",
                                   "--path",
                                   " p ",
                                   "--format",
                                   "fm",
                                   "--target",
                                   "-",
                                   "--options",
                                   "o",
                                   "--base-revision",
                                   "007",
                                   "--summary",
                                   "s",
                                   "--operation-id",
                                   "op",
                                   "--types",
                                   "t",
                                   "--groups",
                                   "g",
                                   "--type",
                                   "ty",
                                   "--client",
                                   "cl",
                                   "--required-checks",
                                   "rc",
                                   "--title",
                                   "ti",
                                   "--description",
                                   "d",
                                   "--contact",
                                   "co",
                                   "--compact",
                                   "--force",
                                   "--close-after-verified",
                                   "--diagnostics",
                                   "--full"});
  ASSERT_TRUE(parsed.has_value()) << parsed.error();
  const CliOptions& o = *parsed;
  const std::pair<const std::optional<std::string>*, std::string_view> texts[] = {
      {&o.commands, "c"},         {&o.file, "f"},          {&o.request, "r"},
      {&o.request_file, "rf"},    {&o.path, " p "},        {&o.format, "fm"},
      {&o.target, "-"},           {&o.options, "o"},       {&o.base_revision, "007"},
      {&o.summary, "s"},          {&o.operation_id, "op"}, {&o.types, "t"},
      {&o.groups, "g"},           {&o.type, "ty"},         {&o.client, "cl"},
      {&o.required_checks, "rc"}, {&o.title, "ti"},        {&o.description, "d"},
      {&o.contact, "co"},
  };
  for (const auto& [field, value] : texts) {
    ASSERT_TRUE(field->has_value()) << value;
    EXPECT_EQ(**field, value);
  }
  EXPECT_TRUE(o.compact && o.force && o.close_after_verified && o.diagnostics && o.full);
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
