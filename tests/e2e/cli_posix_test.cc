// The program's standard streams as a shell leaves them: stdout on a full disk, on a pipe
// whose reader has gone, opened for reading only or past the file-size limit, streams closed
// before the start, and streams that another process made non-blocking.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/expected_output.h"
#include "support/scripted_app.h"
#include "support/test_support.h"

namespace tov::testing {
namespace {

using namespace std::chrono_literals;

const std::string kOkAnswer = "{\"ok\":true,\"data\":{\"done\":true}}\n";
const std::string kStatusRequest = R"({"token":"test-token","op":"status","params":{}})";
const std::string kStatusCall =
    R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"office_status"}})" "\n";
// Several pieces of the printer's size, and more than a pipe holds.
const std::string kLargeAnswer = "{\"ok\":true,\"data\":\"" + std::string(300000, 'x') + "\"}\n";

// Runs the program through /bin/sh with `redirections` applied to it (">/dev/full", ">&-"),
// in `app`'s environment; `before` runs first in the same shell.
ProcessResult run_redirected(const AppData& app, const std::vector<std::string>& args,
                             const std::string& redirections, std::string stdin_bytes = {},
                             const std::string& before = "") {
  RunOptions options;
  options.args = {"-c", before + "exec \"$0\" \"$@\" " + redirections, program_path()};
  options.args.insert(options.args.end(), args.begin(), args.end());
  options.env = app.env();
  options.stdin_bytes = std::move(stdin_bytes);
  return run_program("/bin/sh", options);
}

std::string write_failure(std::string_view error) {
  return "error: could not write to stdout: " + std::string(error) + "\n";
}

TEST(CliPosixStreams, AFailedWriteToStdoutIsAFailureAndAClosedStreamIsNot) {
  // A pipe whose reader has gone before anything is written; the shell gets the writing end.
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  ::close(fds[0]);
  const int gone = ::fcntl(fds[1], F_DUPFD, 3);
  ::close(fds[1]);
  ASSERT_NE(gone, -1);
  const std::string full = ">/dev/full", broken = ">&" + std::to_string(gone);
  const std::string no_space = write_failure("No space left on device (os error 28)");
  const std::string no_reader = write_failure("Broken pipe (os error 32)");
  const std::string bad_stdout = write_failure("Bad file descriptor (os error 9)");
  const std::string too_large = write_failure("File too large (os error 27)");
  const TempDir files;
  const std::string past_limit = ">'" + platform::join(files.path(), "answer") + "'";
  const std::string busy = "{\"ok\":false,\"error\":{\"code\":\"Busy\",\"message\":\"m\"}}\n";
  struct Case {
    std::vector<std::string> args;
    std::string redirections;
    std::string answer;  // empty: the app is not reached
    Expected want;
    std::string before = {};  // shell commands run first
  };
  const Case cases[] = {
      {{"--help"}, full, "", {"", no_space, 1}},
      {{}, full, "", {"", no_space, 1}},
      {{"status", "--help"}, full, "", {"", no_space, 1}},
      {{"doctor"}, full, kOkAnswer, {"", no_space, 1}},
      {{"status"}, full, kOkAnswer, {"", no_space, 1}},
      {{"status"}, full, kLargeAnswer, {"", no_space, 1}},
      // Nothing was meant for stdout: the app's failure line alone.
      {{"status"}, full, busy, {"", failure_line("Busy", "m"), 1}},
      {{"--help"}, broken, "", {"", no_reader, 1}},
      {{"status"}, broken, kOkAnswer, {"", no_reader, 1}},
      {{"--help"}, "1</dev/null", "", {"", bad_stdout, 1}},
      {{"status"}, past_limit, kLargeAnswer, {"", too_large, 1}, "ulimit -f 1; "},
      // A stdin opened for writing only is no input at all, not an empty one.
      {{"execute", "--commands", "-"}, "0>/dev/null", "",
       {"", bad_request("could not read stdin: Bad file descriptor (os error 9)"), 1}},
      // A stream closed at start writes into the null device, which is no failure.
      {{"status"}, "<&- >&- 2>&-", kOkAnswer, {"", "", 0}},
      {{"--help"}, ">&-", "", {"", "", 0}},
      {{"doctor"}, ">&-", kOkAnswer, {"", "", 0}},
      {{"statu"}, "2>&-", "", {"", "", 1}},
  };
  for (const Case& c : cases) {
    const std::string context = ::testing::PrintToString(c.args) + " " + c.redirections;
    ScriptedApp scripted({{.bytes = c.answer}});
    AppData app;
    app.publish(scripted.socket_text());
    expect_result(run_redirected(app, c.args, c.redirections, {}, c.before), c.want, context);
    scripted.stop();
    const auto sent = c.answer.empty() ? std::vector<std::string>{} : std::vector{kStatusRequest};
    EXPECT_EQ(scripted.requests(), sent) << context;
  }
  ::close(gone);
}

// A stream shared with another process that made it non-blocking is waited on: an input that
// is not there yet, an output that its reader has not made room for.
TEST(CliPosixStreams, AStreamLeftNonBlockingIsWaitedOn) {
  const std::string client = R"(,"params":{},"client":{"id":"cli"}})";
  struct Case {
    std::vector<std::string> args;
    std::vector<Reply> replies;
    std::string stdin_bytes;
    Expected want;
    std::vector<std::string> requests;
  };
  const Case cases[] = {
      // The server finds stdin empty first; the tool call comes later.
      {{"mcp"},
       {{.bytes = "{\"ok\":true}\n"}, {.bytes = kOkAnswer}},
       kStatusCall,
       {R"({"id":1,"jsonrpc":"2.0","result":{"content":[{"text":"{\n  \"done\": true\n}",)"
        R"("type":"text"}],"isError":false,"structuredContent":{"done":true}}})" "\n",
        "", 0},
       {R"({"token":"test-token","op":"hello")" + client,
        R"({"token":"test-token","op":"status")" + client}},
      // Stdout's pipe is full long before the answer is out.
      {{"status"}, {{.bytes = kLargeAnswer}}, "", {"\"" + std::string(300000, 'x') + "\"\n", "", 0},
       {kStatusRequest}},
  };
  for (const Case& c : cases) {
    const std::string context = ::testing::PrintToString(c.args);
    ScriptedApp scripted(c.replies);
    AppData app;
    app.publish(scripted.socket_text());
    RunOptions options;
    options.args = c.args;
    options.env = app.env();
    options.stdin_bytes = c.stdin_bytes;
    options.nonblocking_streams = true;
    options.streams_held = 500ms;  // no input and no reader for a while
    expect_result(run_program(program_path(), options), c.want, context);
    scripted.stop();
    EXPECT_EQ(scripted.requests(), c.requests) << context;
  }
}

// While the program talks to the app, its closed streams are the null device: the app's
// socket, opened after them, must not take their numbers and get the replies or be read.
TEST(CliPosixStreams, ClosedStreamsKeepTheirNumbersFromTheAppSocket) {
  const std::string client = R"(,"params":{},"client":{"id":"cli"}})";
  struct Case {
    std::vector<std::string> args;
    std::string redirections;
    std::vector<std::string> closed;
    std::string stdin_bytes;
    // The app's answers; the last waits until the app is stopped, which closes without it.
    std::vector<Reply> replies;
    std::vector<std::string> requests;
    int exit_code;
  };
  const Case cases[] = {
      // The tool call comes on stdin, which therefore stays open.
      {{"mcp"}, ">&- 2>&-", {"1", "2"}, kStatusCall,
       {{.bytes = "{\"ok\":true}\n"}, {.bytes = kOkAnswer, .delay = 10min}},
       {R"({"token":"test-token","op":"hello")" + client,
        R"({"token":"test-token","op":"status")" + client},
       0},
      // Exit 1: no answer came.
      {{"status"}, "<&- >&- 2>&-", {"0", "1", "2"}, "", {{.bytes = kOkAnswer, .delay = 10min}},
       {kStatusRequest}, 1},
  };
  for (const Case& c : cases) {
    const std::string context = ::testing::PrintToString(c.args) + " " + c.redirections;
    AppData app;
    ScriptedApp scripted(c.replies);
    app.publish(scripted.socket_text());
    const std::string pid_file = platform::join(app.dir(), "pid");
    auto run = std::async(std::launch::async, [&] {
      return run_redirected(app, c.args, c.redirections, c.stdin_bytes,
                            "echo $$ >'" + pid_file + "'; ");
    });
    const auto give_up = std::chrono::steady_clock::now() + 30s;
    while (scripted.requests().size() < c.requests.size() &&
           std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(10ms);
    }
    const std::string pid = platform::read_file(pid_file).value_or("");
    const std::filesystem::path fd_dir = "/proc/" + pid.substr(0, pid.find('\n')) + "/fd";
    std::map<std::string, std::string> held;  // descriptor number: what it leads to
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator(fd_dir, ec)) {
      held[fd.path().filename()] = std::filesystem::read_symlink(fd, ec).string();
    }
    for (const std::string& fd : c.closed) EXPECT_EQ(held[fd], "/dev/null") << context << " " << fd;
    EXPECT_TRUE(std::ranges::any_of(held, [](const auto& fd) { return fd.second.starts_with("socket:"); }))
        << "no socket open to the app in " << fd_dir;
    scripted.stop();
    EXPECT_EQ(run.get().exit_code, c.exit_code) << context;
    EXPECT_EQ(scripted.requests(), c.requests) << context;
  }
}

}  // namespace
}  // namespace tov::testing
