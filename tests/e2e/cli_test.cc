// The program run as a process against an app served from inside the test: exact stdout,
// stderr and exit code, and the exact request line the app received.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bin/tov-office-desktop/cli_options.h"
#include "cli_protocol/control_call.h"
#include "json/json.h"
#include "platform/platform.h"
#include "support/scripted_app.h"
#include "support/test_support.h"

namespace tov::testing {
namespace {

using namespace std::chrono_literals;

std::string json_quoted(std::string_view text) {
  auto out = json::to_compact(json::Value(std::string(text)));
  return out ? *out : std::string("<unrenderable>");
}

std::string failure_line(std::string_view code, std::string_view message) {
  return "{\"error\":{\"code\":\"" + std::string(code) + "\",\"message\":" + json_quoted(message) +
         "},\"ok\":false}\n";
}

std::string bad_request(std::string_view message) { return failure_line("BadRequest", message); }

struct Expected {
  std::string out;
  std::string err;
  int exit_code;
};

void expect_result(const ProcessResult& got, const Expected& want, const std::string& context) {
  EXPECT_FALSE(got.timed_out) << context;
  EXPECT_EQ(got.out, want.out) << context;
  EXPECT_EQ(got.err, want.err) << context;
  EXPECT_EQ(got.exit_code, want.exit_code) << context;
}

std::string describe(const std::vector<std::string>& args) {
  return ::testing::PrintToString(args);
}

const std::string kTimeoutMessage =
    "The app did not answer within the operation deadline. The request may still complete; "
    "inspect the destination file before retrying an export, or status before retrying a "
    "write.";

// ---- Without an app: help, usage and refusals --------------------------------------------

TEST(CliWithoutApp, HelpUsageAndRefusals) {
  const std::string usage = cli::usage_text();
  struct Case {
    std::vector<std::string> args;
    Expected want;
  };
  const Case cases[] = {
      {{}, {usage, "", 1}},
      {{"help"}, {usage, "", 0}},
      {{"-h"}, {usage, "", 0}},
      {{"--help", "--bogus", "x"}, {usage, "", 0}},
      {{"status", "--help"}, {usage + "\nSelected command: status\n", "", 0}},
      {{"nonsense", "-h"}, {usage + "\nSelected command: nonsense\n", "", 0}},
      {{"execute", "--summary", "--help"}, {usage + "\nSelected command: execute\n", "", 0}},
      {{"doctor", "--target", "-h"}, {usage + "\nSelected command: doctor\n", "", 0}},
      {{"", "--help"}, {usage + "\nSelected command: \n", "", 0}},
      {{"status", "help"}, {"", bad_request("unexpected argument help"), 1}},
      {{"--target"},
       {"",
        bad_request("\u201C--target\u201D is an option, not a command. Options go after the "
                    "command, as in `status --target \u2026`."),
        1}},
      {{"-", "status"},
       {"",
        bad_request("\u201C-\u201D is an option, not a command. Options go after the command, "
                    "as in `status - \u2026`."),
        1}},
      {{""}, {"", bad_request("unknown command "), 1}},
      {{"statu", "--target", "1"}, {"", bad_request("unknown command statu"), 1}},
      {{"status", "--path", "x"}, {"", bad_request("status does not accept --path"), 1}},
      {{"status", "--target"}, {"", bad_request("--target needs a value"), 1}},
      {{"doctor", "--target", "1"}, {"", bad_request("doctor does not accept --target"), 1}},
      {{"open", "--compact", "--compact"}, {"", bad_request("duplicate option --compact"), 1}},
      {{"open", "--compact", "--compact", "--bogus"},
       {"", bad_request("open does not accept --bogus"), 1}},
      {{"new"}, {"", bad_request("new needs --format"), 1}},
      {{"clone", "--path", "/x"}, {"", bad_request("clone needs --operation-id"), 1}},
      {{"execute", "--commands", "[1"},
       {"",
        bad_request(
            "the action batch is not valid JSON: EOF while parsing a list at line 1 column 2"),
        1}},
  };
  for (const Case& c : cases) {
    AppData app_data;
    expect_result(run_quillboard(app_data, c.args), c.want, describe(c.args));
    // A refusal is made before the road to the app: nothing was started.
    EXPECT_TRUE(app_data.stand_in_starts().empty()) << describe(c.args);
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
  struct Case {
    std::string file;
    std::string message;
  };
  const Case cases[] = {
      {"", "the handshake file is unreadable: EOF while parsing a value at line 1 column 0"},
      {"{\"version\":3}",
       "the handshake file is unreadable: missing field `socket` at line 1 column 13"},
      {"\"x\"",
       "the handshake file is unreadable: invalid type: string \"x\", expected struct "
       "Handshake at line 1 column 3"},
      {"{\"version\":2,\"socket\":\"127.0.0.1:1\",\"token\":\"t\",\"pid\":1}",
       "the app speaks protocol 2 but this CLI speaks 3. Rebuild them together."},
      {"{\"version\":3,\"socket\":\"example.com:80\",\"token\":\"t\",\"pid\":1}",
       "could not reach the app on example.com:80: \u201Cexample.com:80\u201D is not an address "
       "this build can reach"},
      {"{\"version\":3,\"socket\":\"10.0.0.1:80\",\"token\":\"t\",\"pid\":1}",
       "could not reach the app on 10.0.0.1:80: the control channel only talks to this machine"},
      {"{\"version\":3,\"socket\":\"[::ffff:127.0.0.1]:80\",\"token\":\"t\",\"pid\":1}",
       "could not reach the app on [::ffff:127.0.0.1]:80: the control channel only talks to "
       "this machine"},
  };
  for (const Case& c : cases) {
    AppData app_data;
    app_data.write_control_file(c.file);
    expect_result(run_quillboard(app_data, {"status"}), {"", bad_request(c.message), 1}, c.file);
    EXPECT_TRUE(app_data.stand_in_starts().empty()) << c.file;
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

std::string request_line(std::string_view op, std::string_view params,
                         std::string_view client = "") {
  std::string line = "{\"token\":\"test-token\",\"op\":\"" + std::string(op) +
                     "\",\"params\":" + std::string(params);
  if (!client.empty()) line += ",\"client\":" + std::string(client);
  return line + "}";
}

std::string absolute_example() {
  return platform::is_absolute("/abs/r.docx") ? "/abs/r.docx" : "C:\\abs\\r.docx";
}

TEST(CliRequests, EachCommandSendsItsOperationAndParameters) {
  const std::string abs = absolute_example();
  const std::string abs_json = json_quoted(abs);
  struct Case {
    std::vector<std::string> args;
    std::string op;
    std::string params;
  };
  const Case cases[] = {
      {{"status"}, "status", "{}"},
      {{"status", "--target", "t1", "--compact"}, "status", "{\"target\":\"t1\"}"},
      {{"open", "--path", abs}, "open", "{\"path\":" + abs_json + "}"},
      {{"new", "--format", "docx"}, "new", "{\"format\":\"docx\"}"},
      {{"manifest", "--types", "a,,b", "--groups", "g"},
       "manifest",
       "{\"groups\":[\"g\"],\"types\":[\"a\",\"b\"]}"},
      {{"can", "--type", "text.insert"}, "can", "{\"commandType\":\"text.insert\"}"},
      {{"execute", "--commands", "[{\"type\":\"context.get\"}]", "--base-revision", "3",
        "--summary", "Update \u00e9/\"", "--diagnostics"},
       "execute",
       "{\"baseRevision\":3,\"commands\":[{\"type\":\"context.get\"}],\"diagnostics\":true,"
       "\"summary\":\"Update \u00e9/\\\"\"}"},
      {{"execute", "--request", "{\"commands\":[],\"target\":\"a\"}", "--target", "b"},
       "execute",
       "{\"commands\":[],\"target\":\"b\"}"},
      {{"operation", "--operation-id", "op-9"}, "operation", "{\"operationId\":\"op-9\"}"},
      {{"undo"}, "undo", "{}"},
      {{"redo", "--target", "2"}, "redo", "{\"target\":\"2\"}"},
      {{"save", "--base-revision", "9007199254740992"},
       "save",
       "{\"baseRevision\":\"9007199254740992\"}"},
      {{"save-as", "--path", abs, "--base-revision", "007"},
       "saveAs",
       "{\"baseRevision\":7,\"path\":" + abs_json + "}"},
      {{"clone", "--path", abs, "--operation-id", "c1"},
       "document.clone",
       "{\"operationId\":\"c1\",\"path\":" + abs_json + "}"},
      {{"save-verified"}, "save-verified", "{\"closeAfterVerified\":false}"},
      {{"save-verified", "--required-checks", "package,,reimport,"},
       "save-verified",
       "{\"closeAfterVerified\":false,\"requiredChecks\":[\"package\",\"\",\"reimport\",\"\"]}"},
      {{"feedback", "--title", "T", "--description", "D", "--type", "idea"},
       "feedback",
       "{\"description\":\"D\",\"title\":\"T\",\"type\":\"idea\"}"},
      {{"close"}, "close", "{\"force\":false}"},
      {{"close", "--force"}, "close", "{\"force\":true}"},
      {{"select-tab", "--target", "3"}, "selectTab", "{\"target\":\"3\"}"},
  };
  for (const Case& c : cases) {
    const RoadRun run = run_against({.bytes = std::string(kOkAnswer)}, c.args);
    expect_result(run.result, {"{\"done\":true}\n", "", 0}, describe(c.args));
    EXPECT_EQ(run.requests, std::vector<std::string>{request_line(c.op, c.params)})
        << describe(c.args);
  }
}

TEST(CliRequests, ExportAndRegisterMedia) {
  TempDir dir;
  const std::string image = platform::join(dir.path(), "pic.png");
  std::ofstream(image, std::ios::binary) << "png";
  auto canonical = platform::canonicalize(image);
  ASSERT_TRUE(canonical.has_value());
  const std::string abs = absolute_example();

  RoadRun run = run_against({.bytes = std::string(kOkAnswer)},
                            {"export", "--path", abs, "--format", "pdf", "--base-revision", "1"});
  expect_result(run.result, {"{\"done\":true}\n", "", 0}, "export");
  EXPECT_EQ(
      run.requests,
      std::vector<std::string>{request_line(
          "export", "{\"baseRevision\":1,\"format\":\"pdf\",\"path\":" + json_quoted(abs) + "}")});

  run = run_against({.bytes = std::string(kOkAnswer)}, {"register-media", "--path", image});
  expect_result(run.result, {"{\"done\":true}\n", "", 0}, "register-media");
  EXPECT_EQ(run.requests,
            std::vector<std::string>{request_line(
                "mediaRegister", "{\"source\":{\"path\":" + json_quoted(*canonical) + "}}")});
}

TEST(CliRequests, ClientComesFromTheOptionOrTheEnvironment) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::string client;  // empty: no "client" key
  };
  const Case cases[] = {
      {{"status"}, {}, ""},
      {{"status", "--client", "codex/2"}, {}, "{\"id\":\"codex\",\"version\":\"2\"}"},
      {{"status", "--client", "a/b/c"}, {}, "{\"id\":\"a\",\"version\":\"b/c\"}"},
      {{"status", "--client", "Tool/"}, {"DESKTOP_APP_CLIENT=env/1"}, "{\"id\":\"Tool\"}"},
      {{"status"}, {"DESKTOP_APP_CLIENT=env/1"}, "{\"id\":\"env\",\"version\":\"1\"}"},
      {{"status"}, {"DESKTOP_APP_CLIENT=", "TOV_OFFICE_DESKTOP_CLIENT=tov"}, "{\"id\":\"tov\"}"},
      {{"status"},
       {"AI_AGENT=agentx_1-2-3", "CLAUDECODE=1"},
       "{\"id\":\"agentx\",\"version\":\"1.2.3\"}"},
      {{"status"},
       {"CLAUDECODE=1", "CLAUDE_AGENT_SDK_VERSION=0.2-beta", "CODEX_HOME=/c"},
       "{\"id\":\"claude-code\",\"version\":\"0.2-beta\"}"},
      {{"status"}, {"CODEX_SANDBOX=seatbelt"}, "{\"id\":\"codex\"}"},
      {{"status"}, {"CURSOR_TRACE_ID=x"}, "{\"id\":\"cursor\"}"},
      {{"status"}, {"GITHUB_COPILOT_AGENT=1"}, "{\"id\":\"copilot\"}"},
  };
  for (const Case& c : cases) {
    const RoadRun run = run_against({.bytes = std::string(kOkAnswer)}, c.args, c.env);
    expect_result(run.result, {"{\"done\":true}\n", "", 0}, describe(c.env));
    EXPECT_EQ(run.requests, std::vector<std::string>{request_line("status", "{}", c.client)})
        << describe(c.args) << describe(c.env);
  }
}

TEST(CliAnswers, PrintedAsTheyCame) {
  const std::string eight_mib(8 * 1024 * 1024, 'a');
  struct Case {
    std::string name;
    Reply reply;
    Expected want;
  };
  const Case cases[] = {
      {"data",
       {.bytes = "{\"ok\":true,\"data\":{\"b\":1,\"a\":\"\u00e9/\\u0001\"}}\n"},
       {"{\"a\":\"\u00e9/\\u0001\",\"b\":1}\n", "", 0}},
      {"no data", {.bytes = "{\"ok\":true}\n"}, {"null\n", "", 0}},
      {"null data", {.bytes = "{\"ok\":true,\"data\":null}\r\n"}, {"null\n", "", 0}},
      {"array form", {.bytes = "[true,[1.5,2]]\n"}, {"[1.5,2]\n", "", 0}},
      {"ok with an error",
       {.bytes = "{\"ok\":true,\"error\":{\"code\":\"X\",\"message\":\"m\"}}\n"},
       {"null\n", "", 0}},
      {"no line feed", {.bytes = "{\"ok\":true,\"data\":7}"}, {"7\n", "", 0}},
      {"second line ignored", {.bytes = "{\"ok\":true,\"data\":1}\ngarbage\n"}, {"1\n", "", 0}},
      {"refusal",
       {.bytes = "{\"data\":[1],\"ok\":false,\"error\":{\"message\":\"m\",\"code\":\"Busy\","
                 "\"details\":{\"z\":null},\"extra\":1}}\n"},
       {"",
        "{\"data\":[1],\"error\":{\"code\":\"Busy\",\"details\":{\"z\":null},\"message\":\"m\"},"
        "\"ok\":false}\n",
        1}},
      {"refusal without a reason",
       {.bytes = "{\"ok\":false}\n"},
       {"", failure_line("ActionFailed", "The app reported a failure without a reason"), 1}},
      {"refusal with a null error",
       {.bytes = "{\"ok\":false,\"error\":null,\"data\":3}\n"},
       {"", failure_line("ActionFailed", "The app reported a failure without a reason"), 1}},
      {"garbage",
       {.bytes = "hello\n"},
       {"", bad_request("could not read the answer: expected value at line 1 column 1"), 1}},
      {"missing ok",
       {.bytes = "{\"data\":1}\n"},
       {"", bad_request("could not read the answer: missing field `ok` at line 1 column 10"), 1}},
      {"invalid UTF-8",
       {.bytes = "{\"ok\":true,\"data\":\"\xC3\"}\n"},
       {"", bad_request("could not read the answer: stream did not contain valid UTF-8"), 1}},
      {"closed early",
       {.bytes = "", .close_without_answer = true},
       {"", bad_request("could not read the answer: connection closed before a frame arrived"), 1}},
      {"longer than 8 MiB",
       {.bytes = "{\"ok\":true,\"data\":\"" + eight_mib + "\"}\n"},
       {"",
        bad_request(
            "could not read the answer: EOF while parsing a string at line 1 column 8388608"),
        1}},
  };
  for (const Case& c : cases) {
    const RoadRun run = run_against(c.reply, {"status"});
    expect_result(run.result, c.want, c.name);
  }
}

TEST(CliAnswers, ResetConnectionIsABadRequest) {
  const RoadRun run = run_against({.bytes = "", .reset = true}, {"status"});
  EXPECT_EQ(run.result.out, "");
  EXPECT_TRUE(run.result.err.starts_with(
      "{\"error\":{\"code\":\"BadRequest\",\"message\":\"could not read the answer: "))
      << run.result.err;
  EXPECT_EQ(run.result.exit_code, 1);
}

TEST(CliAnswers, SilentAppGivesTheTimeoutAnswer) {
  const RoadRun run = run_against({.bytes = std::string(kOkAnswer), .delay = 18s}, {"undo"});
  expect_result(run.result, {"", failure_line("Timeout", kTimeoutMessage), 1}, "timeout");
}

TEST(CliAnswers, CompactChangesNothing) {
  ScriptedApp app({{.bytes = "{\"ok\":true,\"data\":{\"tabs\":[1,2],\"x\":\"y\"}}\n"}});
  AppData app_data;
  app_data.publish(app.socket_text());
  const ProcessResult plain = run_quillboard(app_data, {"status"});
  const ProcessResult compact = run_quillboard(app_data, {"status", "--compact"});
  expect_result(plain, {"{\"tabs\":[1,2],\"x\":\"y\"}\n", "", 0}, "plain");
  expect_result(compact, {plain.out, plain.err, plain.exit_code}, "compact");
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
      {{"execute", "--commands", "-"},
       "",
       {"",
        bad_request(
            "the action batch is not valid JSON: EOF while parsing a value at line 1 column 0"),
        1},
       ""},
      {{"execute", "--request", "-"},
       "{\"command\":[]}",
       {"", bad_request("the execute request needs a \u201Ccommands\u201D property"), 1},
       ""},
  };
  for (const Case& c : cases) {
    const RoadRun run = run_against({.bytes = std::string(kOkAnswer)}, c.args, {}, c.stdin_bytes);
    expect_result(run.result, c.want, describe(c.args));
    const std::vector<std::string> sent =
        c.params.empty() ? std::vector<std::string>{}
                         : std::vector<std::string>{request_line("execute", c.params)};
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
  expect_result(run_in_dir({"open", "--path", "a/../b.docx"}), {"{\"done\":true}\n", "", 0},
                "open");
  expect_result(run_in_dir({"execute", "--file", "-"}), {"{\"done\":true}\n", "", 0}, "--file -");

  // The working directory as the child sees it: as given (Windows) or with links resolved.
  auto open_request = [](std::string_view dir_text) {
    return request_line("open",
                        "{\"path\":" + json_quoted(platform::join(dir_text, "a/../b.docx")) + "}");
  };
  auto canonical = platform::canonicalize(dir.path());
  ASSERT_TRUE(canonical.has_value());
  const std::vector<std::string> requests = app.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[0] == open_request(dir.path()) || requests[0] == open_request(*canonical))
      << requests[0];
  EXPECT_EQ(requests[1], request_line("execute", "{\"commands\":[\"from the file\"]}"));
}

}  // namespace
}  // namespace tov::testing
