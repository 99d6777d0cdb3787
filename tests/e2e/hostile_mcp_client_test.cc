// The MCP server against a client that misbehaves: thousands of requests back to back, a
// reader that goes away mid-stream, bytes that are not UTF-8, and a mix of notifications,
// batches, responses and hostile JSON. No app runs; each case ends with its exact output.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/expected_output.h"
#include "support/scripted_app.h"
#include "support/test_support.h"

namespace tov::testing {
namespace {

std::string ping(std::string_view id) {
  return "{\"jsonrpc\":\"2.0\",\"id\":" + std::string(id) + ",\"method\":\"ping\"}\n";
}

std::string pong(std::string_view id) {
  return "{\"id\":" + std::string(id) + ",\"jsonrpc\":\"2.0\",\"result\":{}}\n";
}

TEST(HostileMcpClient, TenThousandRequestsBackToBack) {
  std::string input, want;
  for (int i = 1; i <= 10000; ++i) {
    // Numbers, strings and ids that repeat: each gets its own reply, in order.
    const std::string id = i % 3 == 0 ? "\"r" + std::to_string(i) + "\"" : std::to_string(i % 500);
    input += ping(id);
    want += pong(id);
  }
  AppData app;
  expect_result(run_quillboard(app, {"mcp"}, {}, input), {want, "", 0}, "ten thousand pings");
}

// The client stops reading after a few replies while thousands are still due. The server
// must end with the write error, not with a signal and not by hanging. SIGPIPE is set back
// to its default for the server, so that only its own handling counts.
TEST(HostileMcpClient, ReaderGoesAwayMidStream) {
  if (program_path().ends_with(".exe") || !platform::is_regular_file("/bin/bash")) {
    GTEST_SKIP() << "needs bash and coreutils";
  }
  std::string input;
  for (int i = 1; i <= 10000; ++i) input += ping(std::to_string(i));
  AppData app;
  RunOptions options;
  options.env = app.env();
  options.stdin_bytes = input;
  options.args = {"-c",
                  "env --default-signal=PIPE \"$0\" mcp | head -c 1000 >/dev/null; "
                  "echo \"${PIPESTATUS[0]}\"",
                  program_path()};
  ProcessResult got = run_program("/bin/bash", options);
  EXPECT_FALSE(got.timed_out);
  EXPECT_EQ(got.out, "1\n");
  EXPECT_EQ(got.err, bad_request("mcp server stopped: Broken pipe (os error 32)"));
}

TEST(HostileMcpClient, BytesThatAreNotUtf8StopTheServer) {
  const std::string stopped = bad_request("mcp server stopped: stream did not contain valid UTF-8");
  struct Case {
    std::string name;
    std::string input;
    std::string out;
  };
  const Case cases[] = {
      {"a stray byte mid-line", ping("1") + "{\"id\":2,\"method\":\"pi\xFFng\"}\n" + ping("3"),
       pong("1")},
      {"an overlong encoding", ping("1") + ping("2") + "{\"id\":\"\xC0\x80\"}\n" + ping("4"),
       pong("1") + pong("2")},
      {"an encoded surrogate", "{\"id\":\"\xED\xA0\x80\",\"method\":\"ping\"}\n" + ping("2"), ""},
      {"a character cut by the end of input", ping("1") + "{\"id\":\"\xC3", pong("1")},
      {"a lone continuation byte on a line of its own", ping("1") + "\x80\n" + ping("3"),
       pong("1")},
      {"a byte beyond Unicode", "\xF8\x88\x80\x80\x80\n" + ping("2"), ""},
      {"invalid bytes in a line that is no JSON either", ping("1") + "\xFE\xFF garbage\n",
       pong("1")},
  };
  for (const Case& c : cases) {
    AppData app;
    expect_result(run_quillboard(app, {"mcp"}, {}, c.input), {c.out, stopped, 1}, c.name);
  }
}

TEST(HostileMcpClient, OnlyRequestsGetRepliesWhateverElseArrives) {
  const std::string deep = "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"ping\",\"params\":" +
                           std::string(10000, '[') + std::string(10000, ']') + "}";
  struct Line {
    std::string in;
    std::string out;  // the reply, if any
    std::string err;  // the diagnostic, if any
  };
  const Line lines[] = {
      {R"({"jsonrpc":"2.0","method":"notifications/initialized"})", "", ""},
      {R"([{"jsonrpc":"2.0","id":1,"method":"ping"},{"jsonrpc":"2.0","id":2,"method":"ping"}])",
       "", ""},
      {"[]", "", ""},
      {R"({"jsonrpc":"2.0","id":3,"result":{}})", "", ""},
      {R"({"jsonrpc":"2.0","id":4,"error":{"code":-32000,"message":"no"}})", "", ""},
      {R"({"jsonrpc":"2.0","id":5,"method":"ping"})", pong("5"), ""},
      {R"({"jsonrpc":"2.0","method":"ping"})", "", ""},
      {R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":5}})", "",
       ""},
      {R"({"jsonrpc":"2.0","id":6,"method":"notifications/progress"})",
       R"({"error":{"code":-32601,"message":"Method not found: notifications/progress"},"id":6,"jsonrpc":"2.0"})"
       "\n",
       ""},
      {R"("ping")", "", ""},
      {"42", "", ""},
      {"null", "", ""},
      {R"({"id":7,"method":7})", "", ""},
      {R"({"id":null,"method":"ping"})", pong("null"), ""},
      {R"({"id":[1,{"b":2,"a":1}],"method":"ping","jsonrpc":"1.0"})", pong(R"([1,{"a":1,"b":2}])"),
       ""},
      {deep, "", "mcp: unreadable message (recursion limit exceeded at line 1 column 176)\n"},
      {std::string("{\"id\":\"a\0\",\"method\":\"ping\"}", 27), "",
       "mcp: unreadable message (control character (\\u0000-\\u001F) found while parsing a "
       "string at line 1 column 9)\n"},
      {R"({"id":"a\u0000","method":"ping"})", pong(R"("a\u0000")"), ""},
      {R"({"id":"\udead","method":"ping"})", "",
       "mcp: unreadable message (lone leading surrogate in hex escape at line 1 column 13)\n"},
      {R"({"id":"\ud800","method":"ping"})", "",
       "mcp: unreadable message (unexpected end of hex escape at line 1 column 14)\n"},
      {"{\"id\":8,\"method\":\"ping\",\"params\":{\"pad\":\"" + std::string(20u << 20, 'p') +
           "\"}}",
       pong("8"), ""},
      {"\t \r", "", ""},
      {R"({"id":9,"method":"ping"})", pong("9"), ""},
  };
  std::string input, out, err;
  for (const Line& line : lines) {
    input += line.in + "\n";
    out += line.out;
    err += line.err;
  }
  AppData app;
  expect_result(run_quillboard(app, {"mcp"}, {}, input), {out, err, 0}, "mixed lines");
}

}  // namespace
}  // namespace tov::testing
