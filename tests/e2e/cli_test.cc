// The program run as a process against an app served from inside the test: exact stdout,
// stderr and exit code, and the exact request line the app received. What each command
// makes of its options is checked in command_request_test.cc; here the whole road.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bin/tov-office-desktop/cli_options.h"
#include "cli_protocol/brand.h"
#include "cli_protocol/control_file.h"
#include "platform/platform.h"
#include "support/expected_output.h"
#include "support/scripted_app.h"
#include "support/test_support.h"

namespace tov::testing {
namespace {

std::string describe(const std::vector<std::string>& args) { return ::testing::PrintToString(args); }

// ---- Without an app: help, usage and refusals --------------------------------------------

TEST(CliWithoutApp, HelpUsageAndRefusals) {
  const std::string usage = cli::usage_text();
  const std::pair<std::vector<std::string>, Expected> cases[] = {
      {{}, {usage, "", 1}},
      {{"help"}, {usage, "", 0}},
      {{"-h"}, {usage, "", 0}},
      {{"--help", "--bogus", "x"}, {usage, "", 0}},
      {{"status", "--help"}, {usage + "\nSelected command: status\n", "", 0}},
      {{"nonsense", "-h"}, {usage + "\nSelected command: nonsense\n", "", 0}},
      {{"execute", "--summary", "--help"}, {usage + "\nSelected command: execute\n", "", 0}},
      {{"status", "help"}, {"", bad_request("unexpected argument help"), 1}},
      {{"--target"},
       {"",
        bad_request("\u201C--target\u201D is an option, not a command. Options go after the "
                    "command, as in `status --target \u2026`."),
        1}},
      {{"statu", "--target", "1"}, {"", bad_request("unknown command statu"), 1}},
      {{"doctor", "--target", "1"}, {"", bad_request("doctor does not accept --target"), 1}},
      {{"open", "--compact", "--compact"}, {"", bad_request("duplicate option --compact"), 1}},
      {{"open", "--compact", "--compact", "--bogus"}, {"", bad_request("open does not accept --bogus"), 1}},
      {{"new"}, {"", bad_request("new needs --format"), 1}},
  };
  for (const auto& [args, want] : cases) {
    AppData app_data;
    expect_result(run_quillboard(app_data, args), want, describe(args));
    // A refusal is made before the road to the app: nothing was started.
    EXPECT_TRUE(app_data.stand_in_starts().empty()) << describe(args);
  }
}

TEST(CliWithoutApp, ArgumentThatIsNotUnicodeIsABadRequest) {
  // Only POSIX arguments can carry bytes that are not UTF-8; Windows ones arrive as UTF-16.
  if (!platform::is_absolute("/")) GTEST_SKIP() << "arguments are UTF-16 here";
  AppData app_data;
  // doctor would print a report if the argument were taken.
  const ProcessResult got = run_quillboard(app_data, {"doctor", "--client", "\xFF\xFE"});
  EXPECT_EQ(got.out, "");
  EXPECT_TRUE(got.err.starts_with("{\"error\":{\"code\":\"BadRequest\",\"message\":\"")) << got.err;
  EXPECT_TRUE(got.err.ends_with("\"},\"ok\":false}\n")) << got.err;
  EXPECT_EQ(got.exit_code, 1);
}

// ---- Control file problems -----------------------------------------------------------------

TEST(CliControlFile, ProblemsAreBadRequests) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "the handshake file is unreadable: EOF while parsing a value at line 1 column 0"},
      {"{\"version\":2,\"socket\":\"127.0.0.1:1\",\"token\":\"t\",\"pid\":1}",
       "the app speaks protocol 2 but this CLI speaks 3. Rebuild them together."},
      {"{\"version\":3,\"socket\":\"10.0.0.1:80\",\"token\":\"t\",\"pid\":1}",
       "could not reach the app on 10.0.0.1:80: the control channel only talks to this machine"},
  };
  for (const auto& [file, message] : cases) {
    AppData app_data;
    app_data.write_control_file(file);
    expect_result(run_quillboard(app_data, {"status"}), {"", bad_request(message), 1}, file);
    EXPECT_TRUE(app_data.stand_in_starts().empty()) << file;
  }
}

TEST(CliControlFile, FailureQuotingAPathThatIsNotUtf8IsStillALine) {
  if (!platform::is_absolute("/")) GTEST_SKIP() << "Windows paths are always Unicode";
  TempDir dir;
  const std::string app_data = platform::join(dir.path(), "bad\xFF");
  const std::string control = platform::join(platform::join(app_data, protocol::brand_app_id()),
                                             std::string(protocol::kControlFileName));
  std::filesystem::create_directories(control);  // a folder where the file belongs
  RunOptions options;
  options.args = {"status"};
  options.env = {"APPDATA=" + app_data};
  const ProcessResult got = run_program(program_path(), options);
  const std::string shown = platform::join(
      platform::join(platform::join(dir.path(), "bad\uFFFD"), protocol::brand_app_id()),
      std::string(protocol::kControlFileName));
  EXPECT_EQ(got.out, "");
  EXPECT_TRUE(got.err.starts_with(
      "{\"error\":{\"code\":\"BadRequest\",\"message\":\"could not read " + shown + ": "))
      << got.err;
  EXPECT_EQ(got.exit_code, 1);
}

// ---- One request, one answer -----------------------------------------------------------------

constexpr std::string_view kOkAnswer = "{\"ok\":true,\"data\":{\"done\":true}}\n";

struct RoadRun {
  ProcessResult result;
  std::vector<std::string> requests;
};

// Runs the program against a scripted app that answers every connection with `reply`.
RoadRun run_against(Reply reply, const std::vector<std::string>& args,
                    const std::vector<std::string>& env = {}, std::string stdin_bytes = {}) {
  ScriptedApp app({std::move(reply)});
  AppData app_data;
  app_data.publish(app.socket_text());
  RoadRun run{run_quillboard(app_data, args, env, std::move(stdin_bytes)), {}};
  run.requests = app.requests();
  return run;
}

std::string request_line(std::string_view op, std::string_view params, std::string_view client = "") {
  std::string line = "{\"token\":\"test-token\",\"op\":\"" + std::string(op) + "\",\"params\":" + std::string(params);
  if (!client.empty()) line += ",\"client\":" + std::string(client);
  return line + "}";
}

TEST(CliRequests, OneRequestLineWithTheClientFromTheOptionOrTheEnvironment) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::string request;
  };
  const Case cases[] = {
      {{"status", "--compact"}, {}, request_line("status", "{}")},
      {{"select-tab", "--target", "3"}, {}, request_line("selectTab", "{\"target\":\"3\"}")},
      {{"execute", "--commands", "[{\"type\":\"context.get\"}]", "--summary", "Update \u00e9/\""},
       {},
       request_line("execute", "{\"commands\":[{\"type\":\"context.get\"}],\"summary\":\"Update \u00e9/\\\"\"}")},
      {{"undo", "--client", "codex/2"},
       {"DESKTOP_APP_CLIENT=env/1"},
       request_line("undo", "{}", "{\"id\":\"codex\",\"version\":\"2\"}")},
      {{"undo"}, {"DESKTOP_APP_CLIENT=env/1"}, request_line("undo", "{}", "{\"id\":\"env\",\"version\":\"1\"}")},
      {{"undo"}, {"CLAUDECODE=1", "CODEX_HOME=/c"}, request_line("undo", "{}", "{\"id\":\"claude-code\"}")},
  };
  for (const Case& c : cases) {
    const RoadRun run = run_against({.bytes = std::string(kOkAnswer)}, c.args, c.env);
    expect_result(run.result, {"{\"done\":true}\n", "", 0}, describe(c.args));
    EXPECT_EQ(run.requests, std::vector<std::string>{c.request}) << describe(c.args);
  }
}

TEST(CliAnswers, PrintedAsTheyCame) {
  const std::pair<std::string, Expected> cases[] = {
      {"{\"ok\":true,\"data\":{\"b\":1,\"a\":\"\u00e9/\\u0001\"}}\n", {"{\"a\":\"\u00e9/\\u0001\",\"b\":1}\n", "", 0}},
      {"{\"ok\":true}\n", {"null\n", "", 0}},
      {"{\"ok\":true,\"data\":7}", {"7\n", "", 0}},
      {"{\"ok\":true,\"data\":1}\ngarbage\n", {"1\n", "", 0}},
      {"{\"data\":[1],\"ok\":false,\"error\":{\"message\":\"m\",\"code\":\"Busy\",\"details\":{\"z\":null},"
       "\"extra\":1}}\n",
       {"",
        "{\"data\":[1],\"error\":{\"code\":\"Busy\",\"details\":{\"z\":null},\"message\":\"m\"},\"ok\":false}\n",
        1}},
      {"{\"ok\":false}\n", {"", failure_line("ActionFailed", "The app reported a failure without a reason"), 1}},
      {"{\"ok\":false,\"error\":null,\"data\":3}\n",
       {"", failure_line("ActionFailed", "The app reported a failure without a reason"), 1}},
      {"hello\n", {"", bad_request("could not read the answer: expected value at line 1 column 1"), 1}},
  };
  for (const auto& [answer, want] : cases) {
    expect_result(run_against({.bytes = answer}, {"status"}).result, want, answer);
  }
  expect_result(run_against({.bytes = "", .close_without_answer = true}, {"status"}).result,
                {"", bad_request("could not read the answer: connection closed before a frame arrived"), 1},
                "closed without an answer");
}

// ---- Input from stdin and from files -----------------------------------------------------------

TEST(CliInput, BatchAndRequestFromStdin) {
  struct Case {
    std::vector<std::string> args;
    std::string stdin_bytes;
    Expected want;
    std::string params;  // empty: nothing reaches the app
  };
  const Case cases[] = {
      {{"execute", "--commands", "-"},
       "\xEF\xBB\xBF[{\"type\":\"context.get\"}]\n",
       {"{\"done\":true}\n", "", 0},
       "{\"commands\":[{\"type\":\"context.get\"}]}"},
      {{"execute", "--request", "-", "--target", "t"},
       "{\"commands\":[1],\"target\":\"x\"}",
       {"{\"done\":true}\n", "", 0},
       "{\"commands\":[1],\"target\":\"t\"}"},
      {{"execute", "--commands", "-"},
       "[\"\xFF\"]",
       {"", bad_request("could not read stdin: stream did not contain valid UTF-8"), 1},
       ""},
  };
  for (const Case& c : cases) {
    const RoadRun run = run_against({.bytes = std::string(kOkAnswer)}, c.args, {}, c.stdin_bytes);
    expect_result(run.result, c.want, describe(c.args));
    const std::vector<std::string> sent =
        c.params.empty() ? std::vector<std::string>{} : std::vector<std::string>{request_line("execute", c.params)};
    EXPECT_EQ(run.requests, sent) << describe(c.args);
  }
}

TEST(CliInput, RelativePathsAndTheFileCalledDash) {
  ScriptedApp app({{.bytes = std::string(kOkAnswer)}});
  AppData app_data;
  app_data.publish(app.socket_text());
  TempDir dir;
  std::ofstream(platform::join(dir.path(), "-"), std::ios::binary) << "[\"from the file\"]";

  auto run_in_dir = [&](std::vector<std::string> args) {
    RunOptions options;
    options.args = std::move(args);
    options.env = app_data.env();
    options.cwd = dir.path();
    return run_program(program_path(), options);
  };
  expect_result(run_in_dir({"open", "--path", "a/../b.docx"}), {"{\"done\":true}\n", "", 0}, "open");
  expect_result(run_in_dir({"execute", "--file", "-"}), {"{\"done\":true}\n", "", 0}, "--file -");

  // The working directory as the child sees it: as given (Windows) or with links resolved.
  auto open_request = [](std::string_view dir_text) {
    return request_line("open", "{\"path\":" + json_quoted(platform::join(dir_text, "a/../b.docx")) + "}");
  };
  auto canonical = platform::canonicalize(dir.path());
  ASSERT_TRUE(canonical.has_value());
  const std::vector<std::string> requests = app.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[0] == open_request(dir.path()) || requests[0] == open_request(*canonical)) << requests[0];
  EXPECT_EQ(requests[1], request_line("execute", "{\"commands\":[\"from the file\"]}"));
}

}  // namespace
}  // namespace tov::testing
