// The program against an app that misbehaves: answers at the edge of the 8 MiB frame, deep
// nesting, NUL bytes and lone surrogates, half lines, answers in slow pieces, resets and lines
// that never end. Each ends with its exact outcome, without a crash or a hang, and the program
// never reads past the frame limit.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "cli_protocol/frames.h"
#include "json/json.h"
#include "platform/platform.h"
#include "support/scripted_app.h"
#include "support/test_support.h"

namespace tov::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kFrame = protocol::kMaxFrameBytes;

std::string bad_request(std::string_view message) {
  json::Value line = {{"error", {{"code", "BadRequest"}, {"message", std::string(message)}}},
                      {"ok", false}};
  return json::to_compact(line).value_or("<unrenderable>") + "\n";
}

std::string unreadable(std::string_view reading_error) {
  return bad_request("could not read the answer: " + std::string(reading_error));
}

// Texts of megabytes make unreadable failure output: show the sizes and the first bytes.
std::string shorten(const std::string& text) {
  if (text.size() <= 300) return text;
  return text.substr(0, 200) + "... (" + std::to_string(text.size()) + " bytes)";
}

struct Expected {
  std::string out;
  std::string err;
  int exit_code;
};

void expect_result(const ProcessResult& got, const Expected& want, std::string_view name) {
  EXPECT_FALSE(got.timed_out) << name;
  EXPECT_TRUE(got.out == want.out) << name << "\n  out: " << shorten(got.out)
                                   << "\n  want: " << shorten(want.out);
  EXPECT_EQ(got.err, want.err) << name;
  EXPECT_EQ(got.exit_code, want.exit_code) << name;
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

// One connection served on a thread of its own: after the request line, `pieces` each after
// its pause, then (when `filler` is set) `filler` again and again until the program goes
// away or `cap` bytes are out, then a close or a reset.
class PacedApp {
 public:
  struct Piece {
    std::string bytes;
    std::chrono::milliseconds pause{0};
  };
  struct Script {
    std::vector<Piece> pieces;
    std::string filler;
    std::size_t cap = 0;
    bool reset = false;
  };

  explicit PacedApp(Script script) : script_(std::move(script)) {
    auto listener = platform::Listener::bind_loopback();
    if (!listener) {
      ADD_FAILURE() << "cannot listen: " << listener.error().message;
      return;
    }
    listener_ = std::move(*listener);
    thread_ = std::thread([this] { serve(); });
  }
  ~PacedApp() {
    if (thread_.joinable()) thread_.join();
  }
  PacedApp(const PacedApp&) = delete;
  PacedApp& operator=(const PacedApp&) = delete;

  std::string socket_text() const { return "127.0.0.1:" + std::to_string(listener_.port()); }
  // Waits until the script has run out; the bytes the program took off the connection, or
  // that the system buffered for it.
  std::size_t bytes_sent() {
    if (thread_.joinable()) thread_.join();
    return sent_;
  }

 private:
  void serve() {
    auto socket = listener_.accept(30s);
    if (!socket) return;
    if (!read_request_line(*socket)) return;
    (void)socket->set_send_timeout(20s);
    for (const Piece& piece : script_.pieces) {
      std::this_thread::sleep_for(piece.pause);
      if (!socket->send_all(piece.bytes)) return;
      sent_ += piece.bytes.size();
    }
    while (!script_.filler.empty() && sent_ < script_.cap) {
      auto n = socket->send(script_.filler);
      if (!n || *n == 0) break;
      sent_ += *n;
    }
    if (script_.reset) socket->close_with_reset();
  }

  static bool read_request_line(platform::Socket& socket) {
    if (!socket.set_receive_timeout(30s)) return false;
    char buffer[4096];
    for (;;) {
      auto n = socket.receive(buffer);
      if (!n || *n == 0) return false;
      if (std::string_view(buffer, *n).find('\n') != std::string_view::npos) return true;
    }
  }

  Script script_;
  platform::Listener listener_;
  std::thread thread_;
  std::size_t sent_ = 0;
};

PacedApp::Script in_pieces(std::vector<PacedApp::Piece> pieces) {
  PacedApp::Script script;
  script.pieces = std::move(pieces);
  return script;
}

ProcessResult run_status_against(PacedApp& app) {
  AppData app_data;
  app_data.publish(app.socket_text());
  return run_quillboard(app_data, {"status"});
}

// Every byte on its own, each after a short pause; characters of two and four bytes are split.
std::vector<PacedApp::Piece> byte_by_byte(std::string_view answer) {
  std::vector<PacedApp::Piece> pieces;
  for (char c : answer) pieces.push_back({std::string(1, c), 3ms});
  return pieces;
}

TEST(HostileApp, AnswerByteByByte) {
  PacedApp app(in_pieces(byte_by_byte("{\"data\":[\"\u00e9\U0001F600\",1.5],\"ok\":true}\r\n")));
  expect_result(run_status_against(app), {"[\"\u00e9\U0001F600\",1.5]\n", "", 0}, "byte by byte");
}

// The deadline bounds each receive, not the whole answer: pauses that add up past 16 s are
// fine as long as each is shorter.
TEST(HostileApp, SlowPiecesAddingUpPastTheDeadline) {
  PacedApp app(in_pieces({{"{\"ok\":", 6s}, {"true,\"data\":", 6s}, {"\"late\"}\n", 6s}}));
  expect_result(run_status_against(app), {"\"late\"\n", "", 0}, "slow pieces");
}

TEST(HostileApp, HalfALineThenSilenceIsTheTimeoutAnswer) {
  PacedApp app(in_pieces({{"{\"ok\":true,\"data\":", 0ms}, {"1}\n", 22s}}));
  const std::string timeout =
      "{\"error\":{\"code\":\"Timeout\",\"message\":\"The app did not answer within the operation "
      "deadline. The request may still complete; inspect the destination file before retrying "
      "an export, or status before retrying a write.\"},\"ok\":false}\n";
  expect_result(run_status_against(app), {"", timeout, 1}, "half a line, then silence");
}

TEST(HostileApp, ResetAfterHalfALine) {
  PacedApp::Script script = in_pieces({{"{\"ok\":true,\"da", 0ms}, {"", 100ms}});
  script.reset = true;
  PacedApp app(script);
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
    PacedApp app({.pieces = {{c.first, 0ms}}, .filler = std::string(64 * 1024, 'x'), .cap = kCap});
    expect_result(run_status_against(app), c.want, c.name);
    EXPECT_LT(app.bytes_sent(), kFrame + kBuffersAtMost) << c.name;
  }
}

}  // namespace
}  // namespace tov::testing
