// The program against an app that misbehaves: answers at the edge of the 8 MiB frame, deep
// nesting, NUL bytes and lone surrogates, half lines, answers in slow pieces, resets and lines
// that never end. Each ends with its exact outcome, without a crash or a hang, and the program
// never reads past the frame limit.
#include <gtest/gtest.h>

#include <chrono>

#include "cli_protocol/frames.h"
#include "json/json.h"
#include "support/expected_output.h"
#include "support/scripted_app.h"
#include "support/test_support.h"

namespace tov::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kFrame = protocol::kMaxFrameBytes;

std::string unreadable(std::string_view reading_error) {
  return bad_request("could not read the answer: " + std::string(reading_error));
}

// {"ok":true,"data":"xx…x"} padded with x to exactly `size` bytes.
std::string string_answer(std::size_t size) {
  const std::string head = "{\"ok\":true,\"data\":\"", tail = "\"}";
  return head + std::string(size - head.size() - tail.size(), 'x') + tail;
}

// The printed data of string_answer(size).
std::string string_data(std::size_t size) {
  return "\"" + std::string(size - 21, 'x') + "\"\n";
}

// {"ok":true,"data":"xx…x<character>…"} where `character` begins at byte `at`.
std::string answer_with_character_at(std::size_t at, std::string_view character) {
  const std::string head = "{\"ok\":true,\"data\":\"";
  return head + std::string(at - head.size(), 'x') + std::string(character) + "\"}\n";
}

std::string nested_answer(int levels) {
  return "{\"ok\":true,\"data\":" + std::string(levels, '[') + std::string(levels, ']') + "}\n";
}

// ---- Answers that arrive whole ------------------------------------------------------------

TEST(HostileApp, AnswersAtTheEdgesOfTheFrameAndOfJson) {
  struct Case {
    std::string name;
    std::string answer;
    Expected want;
  };
  const Case cases[] = {
      {"a line of exactly 8 MiB", string_answer(kFrame - 1) + "\n",
       {string_data(kFrame - 1), "", 0}},
      {"an answer of 8 MiB whose line feed lies past the limit", string_answer(kFrame) + "\n",
       {string_data(kFrame), "", 0}},
      {"white space across the limit",
       "{\"ok\":true,\"data\":1}" + std::string(kFrame, ' ') + "\n",
       {"1\n", "", 0}},
      {"an answer one byte past 8 MiB", string_answer(kFrame + 1) + "\n",
       {"", unreadable("EOF while parsing an object at line 1 column 8388608"), 1}},
      {"a character cut by the limit", answer_with_character_at(kFrame - 1, "\u00e9"),
       {"", unreadable("stream did not contain valid UTF-8"), 1}},
      {"a four-byte character cut by the limit",
       answer_with_character_at(kFrame - 3, "\U0001F600"),
       {"", unreadable("stream did not contain valid UTF-8"), 1}},
      {"a character that ends at the limit", answer_with_character_at(kFrame - 2, "\u00e9"),
       {"", unreadable("EOF while parsing a string at line 1 column 8388608"), 1}},
      {"10,000 nesting levels", nested_answer(10000),
       {"", unreadable("recursion limit exceeded at line 1 column 145"), 1}},
      {"127 levels, the answer included", nested_answer(126),
       {std::string(126, '[') + std::string(126, ']') + "\n", "", 0}},
      {"128 levels", nested_answer(127),
       {"", unreadable("recursion limit exceeded at line 1 column 145"), 1}},
      {"an escaped NUL", "{\"ok\":true,\"data\":\"a\\u0000b\"}\n", {"\"a\\u0000b\"\n", "", 0}},
      {"a raw NUL in a string", std::string("{\"ok\":true,\"data\":\"a\0b\"}\n", 25),
       {"", unreadable("control character (\\u0000-\\u001F) found while parsing a string at line 1 column 21"), 1}},
      {"a NUL after the answer", std::string("{\"ok\":true}\0\n", 13),
       {"", unreadable("trailing characters at line 1 column 12"), 1}},
      {"a lone leading surrogate", "{\"ok\":true,\"data\":\"\\ud800\"}\n",
       {"", unreadable("unexpected end of hex escape at line 1 column 26"), 1}},
      {"a lone trailing surrogate", "{\"ok\":true,\"data\":\"\\udc00\"}\n",
       {"", unreadable("lone leading surrogate in hex escape at line 1 column 25"), 1}},
      {"two leading surrogates", "{\"ok\":true,\"data\":\"\\ud800\\ud800\"}\n",
       {"", unreadable("lone leading surrogate in hex escape at line 1 column 31"), 1}},
      {"a lone surrogate in a key", "{\"ok\":true,\"\\udfff\":1}\n",
       {"", unreadable("lone leading surrogate in hex escape at line 1 column 18"), 1}},
      {"a lone surrogate in the error message",
       "{\"ok\":false,\"error\":{\"code\":\"c\",\"message\":\"\\ud800\"}}\n",
       {"", unreadable("unexpected end of hex escape at line 1 column 50"), 1}},
      {"a surrogate pair", "{\"ok\":true,\"data\":\"\\ud83d\\ude00\"}\n",
       {"\"\U0001F600\"\n", "", 0}},
      {"closed after half a line", "{\"ok\":tr",
       {"", unreadable("EOF while parsing a value at line 1 column 8"), 1}},
      {"closed inside a key", "{\"ok\":true,\"da",
       {"", unreadable("EOF while parsing a string at line 1 column 14"), 1}},
      {"closed inside a list", "{\"ok\":true,\"data\":[1,2",
       {"", unreadable("EOF while parsing a list at line 1 column 22"), 1}},
  };
  for (const Case& c : cases) {
    AppData app_data;
    ScriptedApp app({{.bytes = c.answer}});
    app_data.publish(app.socket_text());
    expect_result(run_quillboard(app_data, {"status"}), c.want, c.name);
    EXPECT_EQ(app.requests().size(), 1u) << c.name;
  }
}

// The MCP server meets the same answers through tool calls: each becomes a tool failure with
// the reading error, and serving goes on.
TEST(HostileApp, BehindTheMcpServerEachBadAnswerIsAToolFailure) {
  const std::string hello_ok = "{\"ok\":true}\n";
  struct Case {
    std::string answer;
    std::string tool_text;  // the failure text, or the pretty data of a good answer
    bool is_error;
  };
  const Case cases[] = {
      {nested_answer(10000), "could not read the answer: recursion limit exceeded at line 1 column 145",
       true},
      {"{\"ok\":true,\"data\":[1,2", "could not read the answer: EOF while parsing a list at line 1 column 22",
       true},
      {string_answer(kFrame + 1) + "\n",
       "could not read the answer: EOF while parsing an object at line 1 column 8388608", true},
      {answer_with_character_at(kFrame - 1, "\u00e9"),
       "could not read the answer: stream did not contain valid UTF-8", true},
      {"{\"ok\":true,\"data\":\"\\udc00\"}\n",
       "could not read the answer: lone leading surrogate in hex escape at line 1 column 25", true},
      {"{\"ok\":true,\"data\":{\"fine\":\"a\\u0000\"}}\n", "{\n  \"fine\": \"a\\u0000\"\n}", false},
  };
  std::vector<Reply> replies = {{.bytes = hello_ok}};
  std::string input, want;
  int id = 0;
  for (const Case& c : cases) {
    replies.push_back({.bytes = c.answer});
    ++id;
    input += "{\"jsonrpc\":\"2.0\",\"id\":" + std::to_string(id) +
             ",\"method\":\"tools/call\",\"params\":{\"name\":\"office_status\",\"arguments\":{}}}\n";
    json::Value result = {{"content", {{{"text", c.tool_text}, {"type", "text"}}}},
                          {"isError", c.is_error}};
    if (!c.is_error) result["structuredContent"] = {{"fine", std::string("a\0", 2)}};
    json::Value reply = {{"id", id}, {"jsonrpc", "2.0"}, {"result", result}};
    want += json::to_compact(reply).value_or("<unrenderable>") + "\n";
  }
  input += "{\"jsonrpc\":\"2.0\",\"id\":99,\"method\":\"ping\"}\n";
  want += "{\"id\":99,\"jsonrpc\":\"2.0\",\"result\":{}}\n";

  AppData app_data;
  ScriptedApp app(replies);
  app_data.publish(app.socket_text());
  ProcessResult got = run_quillboard(app_data, {"mcp"}, {}, input);
  EXPECT_FALSE(got.timed_out);
  EXPECT_EQ(got.exit_code, 0);
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.out, want);
  EXPECT_EQ(app.requests().size(), replies.size());
}

// ---- Answers in pieces, resets and lines without end --------------------------------------

// Runs status against `app` with a control file that names it.
ProcessResult run_status_against(const ScriptedApp& app) {
  AppData app_data;
  app_data.publish(app.socket_text());
  return run_quillboard(app_data, {"status"});
}

// Every byte on its own, each after a short pause; characters of two and four bytes are split.
Reply byte_by_byte(std::string_view answer) {
  Reply reply;
  for (char c : answer) reply.pieces.push_back({3ms, std::string(1, c)});
  return reply;
}

TEST(HostileApp, AnswerByteByByte) {
  ScriptedApp app({byte_by_byte("{\"data\":[\"\u00e9\U0001F600\",1.5],\"ok\":true}\r\n")});
  expect_result(run_status_against(app), {"[\"\u00e9\U0001F600\",1.5]\n", "", 0}, "byte by byte");
}

// The deadline bounds each receive, not the whole answer: pauses that add up past 16 s are
// fine as long as each is shorter.
TEST(HostileApp, SlowPiecesAddingUpPastTheDeadline) {
  ScriptedApp app({{.bytes = "{\"ok\":", .delay = 6s, .pieces = {{6s, "true,\"data\":"}, {6s, "\"late\"}\n"}}}});
  expect_result(run_status_against(app), {"\"late\"\n", "", 0}, "slow pieces");
}

TEST(HostileApp, HalfALineThenSilenceIsTheTimeoutAnswer) {
  ScriptedApp app({{.bytes = "{\"ok\":true,\"data\":", .pieces = {{22s, "1}\n"}}}});
  expect_result(run_status_against(app), {"", failure_line("Timeout", kTimeoutMessage), 1}, "half a line, silence");
}

TEST(HostileApp, ResetAfterHalfALine) {
  ScriptedApp app({{.bytes = "{\"ok\":true,\"da", .reset = true, .pieces = {{100ms, ""}}}});
  ProcessResult got = run_status_against(app);
  EXPECT_FALSE(got.timed_out);
  EXPECT_EQ(got.out, "");
  EXPECT_TRUE(got.err.starts_with(
      R"({"error":{"code":"BadRequest","message":"could not read the answer: )"))
      << got.err;
  EXPECT_EQ(got.exit_code, 1);
}

// A line that never ends, or a second line that never ends: the program reads at most one
// frame and goes, so the app can only push what the connection's buffers hold beyond it.
TEST(HostileApp, LinesWithoutEndStopAtTheFrameLimit) {
  constexpr std::size_t kCap = 256u * 1024 * 1024;
  constexpr std::size_t kBuffersAtMost = 24u * 1024 * 1024;
  struct Case {
    std::string name;
    std::string first;
    Expected want;
  };
  const Case cases[] = {
      {"an endless line", "{\"ok\":true,\"data\":\"",
       {"", unreadable("EOF while parsing a string at line 1 column 8388608"), 1}},
      {"an answer, then an endless second line", "{\"ok\":true,\"data\":2}\n", {"2\n", "", 0}},
  };
  for (const Case& c : cases) {
    ScriptedApp app({{.bytes = c.first, .filler = std::string(64 * 1024, 'x'), .filler_cap = kCap}});
    expect_result(run_status_against(app), c.want, c.name);
    app.stop();
    EXPECT_LT(app.bytes_sent(), kFrame + kBuffersAtMost) << c.name;
  }
}

}  // namespace
}  // namespace tov::testing
