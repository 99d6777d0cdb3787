#include <gtest/gtest.h>

#include <algorithm>
#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "json/json.h"
#include "mcp_server/serve_loop.h"
#include "mcp_server/tool_catalogue.h"

namespace tov::mcp {
namespace {

// Input from a string, `chunk` bytes per read; replies and diagnostics into strings.
class ScriptedStreams final : public ServeStreams {
 public:
  explicit ScriptedStreams(std::string input, std::size_t chunk = 4096)
      : input_(std::move(input)), chunk_(chunk) {}

  platform::IoResult<std::size_t> read(std::span<char> buffer) override {
    ++reads;
    if (offset_ == input_.size() && read_error) return std::unexpected(*read_error);
    std::size_t n = std::min({buffer.size(), chunk_, input_.size() - offset_});
    std::copy_n(input_.data() + offset_, n, buffer.data());
    offset_ += n;
    return n;
  }
  platform::IoResult<void> write_reply(std::string_view bytes) override {
    if (failing_writes) {
      return std::unexpected(platform::IoError{platform::ErrorKind::BrokenPipe, "pipe closed"});
    }
    out.append(bytes);
    return {};
  }
  void diagnostic(std::string_view line) override { err.append(line); }

  std::string out;
  std::string err;
  int reads = 0;
  bool failing_writes = false;
  std::optional<platform::IoError> read_error;

 private:
  std::string input_;
  std::size_t chunk_;
  std::size_t offset_ = 0;
};

// Stands in for the app: records what the loop asks of it, in order, and answers as told.
class RecordingRoad final : public AppRoad {
 public:
  explicit RecordingRoad(const ScriptedStreams* streams = nullptr) : streams_(streams) {}
  std::expected<bool, std::string> say_hello(const McpSession& session) override {
    announced_identities.push_back(session.identity);
    replies_before_announce.push_back(streams_ ? streams_->out.size() : 0);
    asked.push_back("hello " + session.identity.id);
    return hello_answer;
  }
  std::expected<protocol::Response, std::string> ask_app(const McpSession& session,
                                                         std::string_view op,
                                                         json::Value params) override {
    asked.push_back(std::string(op) + " " + json::to_compact(params).value() + " from " +
                    session.identity.id);
    return answer;
  }
  // No app has published its control file, unless a test says otherwise.
  std::expected<bool, std::string> hello_answer = false;
  std::expected<protocol::Response, std::string> answer = protocol::Response{true, {}, {}};
  std::vector<protocol::ClientIdentity> announced_identities;
  std::vector<std::size_t> replies_before_announce;
  std::vector<std::string> asked;

 private:
  const ScriptedStreams* streams_;
};

struct Served {
  std::expected<void, std::string> result;
  std::string out;
  std::string err;
};

Served serve_text(std::string input, std::size_t chunk = 4096) {
  ScriptedStreams streams(std::move(input), chunk);
  RecordingRoad road;
  McpSession session{{"cli", {}, {}}, false};
  auto result = serve(session, streams, road);
  return {result, streams.out, streams.err};
}

const std::string kPingReply = R"({"id":1,"jsonrpc":"2.0","result":{}})"
                               "\n";
const std::string kNoToolName =
    R"({"error":{"code":-32602,"message":"tools/call needs a tool name"},"id":3,"jsonrpc":"2.0"})"
    "\n";

TEST(McpServeLoop, AnswersEachLineAsTheProtocolSays) {
  struct Case {
    const char* name;
    std::string input;
    std::string out;
    std::string err;
  };
  const std::string deep = std::string(126, '[') + std::string(126, ']');
  const Case cases[] = {
      {"white space only lines", " \t\n\n\xC2\xA0\n\xE2\x80\xA8\r\n\xE3\x80\x80\n", "", ""},
      {"spaces around a message", "  {\"id\":1,\"method\":\"ping\"}\t\n", kPingReply, ""},
      {"carriage return and line feed", "{\"id\":1,\"method\":\"ping\"}\r\n", kPingReply, ""},
      {"last line without line feed", "{\"id\":1,\"method\":\"ping\"}", kPingReply, ""},
      {"no-break space before a message", "\xC2\xA0{\"id\":1,\"method\":\"ping\"}\n", "",
       "mcp: unreadable message (expected value at line 1 column 1)\n"},
      {"numeric ids",
       R"({"id":-3,"method":"ping"})" "\n" R"({"id":18446744073709551615,"method":"ping"})" "\n",
       R"({"id":-3,"jsonrpc":"2.0","result":{}})" "\n"
       R"({"id":18446744073709551615,"jsonrpc":"2.0","result":{}})" "\n",
       ""},
      {"an unknown method", R"({"id":2,"method":"Ping"})" "\n",
       R"({"error":{"code":-32601,"message":"Method not found: Ping"},"id":2,"jsonrpc":"2.0"})"
       "\n",
       ""},
      {"tools/call with params",
       R"({"id":3,"method":"tools/call","params":{"name":"office_save"}})" "\n",
       R"({"id":3,"jsonrpc":"2.0","result":{"content":[{"text":"null","type":"text"}],)"
       R"("isError":false}})" "\n", ""},
      {"tools/call with null params", R"({"id":3,"method":"tools/call","params":null})" "\n",
       kNoToolName, ""},
      {"tools/call without params", R"({"id":3,"method":"tools/call"})" "\n", kNoToolName, ""},
      {"127 levels are read", R"({"id":1,"method":"ping","params":)" + deep + "}\n", kPingReply, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Served served = serve_text(c.input);
    EXPECT_TRUE(served.result.has_value());
    EXPECT_EQ(served.out, c.out);
    EXPECT_EQ(served.err, c.err);
  }
}

TEST(McpServeLoop, SplitsLinesAcrossReadsOfAnySize) {
  std::string input = std::string("{\"id\":1,\"method\":\"ping\"}\r\n\n") +
                      R"({"id":1,"method":"ping","params":")" + std::string(200000, 'x') +
                      "\"}\n{\"id\":1,\"method\":\"ping\"}";
  for (std::size_t chunk : {1u, 2u, 7u, 4096u, 1000000u}) {
    SCOPED_TRACE(chunk);
    Served served = serve_text(input, chunk);
    EXPECT_TRUE(served.result.has_value());
    EXPECT_EQ(served.out, kPingReply + kPingReply + kPingReply);
  }
}

TEST(McpServeLoop, StopsAtAReadOrWriteFailure) {
  ScriptedStreams reading("{\"id\":1,\"method\":\"ping\"}\n");
  reading.read_error = platform::IoError{platform::ErrorKind::Other, "disk on fire"};
  RecordingRoad road;
  McpSession session;
  auto result = serve(session, reading, road);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), "disk on fire");
  EXPECT_EQ(reading.out, kPingReply);

  ScriptedStreams writing("{\"id\":1,\"method\":\"ping\"}\n{\"id\":2,\"method\":\"ping\"}\n", 1);
  writing.failing_writes = true;
  result = serve(session, writing, road);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), "pipe closed");
  // The second line was never read.
  EXPECT_LT(writing.reads, 40);
}

json::Value initialize_result(const std::string& params_text,
                              McpSession& session, RecordingRoad& road) {
  std::string line = R"({"id":1,"method":"initialize")";
  if (!params_text.empty()) line += R"(,"params":)" + params_text;
  ScriptedStreams streams(line + "}\n");
  EXPECT_TRUE(serve(session, streams, road).has_value());
  return json::parse(streams.out).value().at("result");
}

TEST(McpServeLoop, InitializeChoosesTheProtocolVersion) {
  struct Case {
    const char* params;
    const char* version;
  };
  const Case cases[] = {
      {R"({"protocolVersion":"2025-06-18"})", "2025-06-18"},
      {R"({"protocolVersion":"2025-11-25"})", "2025-11-25"},
      {R"({"protocolVersion":"2024-11-05"})", "2025-11-25"},
      {R"({"protocolVersion":20250618})", "2025-11-25"},
      {R"(["2025-06-18"])", "2025-11-25"},
      {"null", "2025-11-25"},
      {"", "2025-11-25"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.params);
    McpSession session{{"cli", {}, {}}, false};
    RecordingRoad road;
    json::Value result = initialize_result(c.params, session, road);
    EXPECT_EQ(result["protocolVersion"], c.version);
    EXPECT_EQ(road.announced_identities.size(), 1u);
  }
}

TEST(McpServeLoop, InitializeTakesTheClientsIdentity) {
  using protocol::ClientIdentity;
  const ClientIdentity from_env{"codex", "9", std::nullopt};
  struct Case {
    const char* params;
    ClientIdentity identity;
  };
  const Case cases[] = {
      {R"({"clientInfo":{"name":" Claude Code ","title":" Claude ","version":" 1.2 "}})",
       {"claude-code", "1.2", "Claude"}},
      {R"({"clientInfo":{"name":"Visual Studio Code","title":"","version":"  "}})",
       {"vscode", std::nullopt, "Visual Studio Code"}},
      {R"({"clientInfo":{"name":"zedd","title":7,"version":3}})", {"zedd", std::nullopt, "zedd"}},
      {R"({"clientInfo":{"name":"  ","title":"T","version":"1"}})", from_env},
      {R"({"clientInfo":{"name":5}})", from_env},
      {R"({"clientInfo":"Claude"})", from_env},
      {R"({"protocolVersion":"2025-06-18"})", from_env},
      {"[]", from_env},
      {"", from_env},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.params);
    McpSession session{from_env, false};
    RecordingRoad road;
    initialize_result(c.params, session, road);
    EXPECT_EQ(session.identity, c.identity);
    EXPECT_FALSE(session.announced);
    ASSERT_EQ(road.announced_identities.size(), 1u);
    EXPECT_EQ(road.announced_identities[0], c.identity);
  }
}

TEST(McpServeLoop, AnnouncesBeforeTheInitializeReplyAndEachTimeAgain) {
  ScriptedStreams streams(
      R"({"id":1,"method":"initialize","params":{"clientInfo":{"name":"Codex"}}})" "\n"
      R"({"id":2,"method":"initialize","params":{"clientInfo":{"name":"Cursor"}}})" "\n");
  RecordingRoad road(&streams);
  McpSession session{{"cli", {}, {}}, false};
  ASSERT_TRUE(serve(session, streams, road).has_value());
  ASSERT_EQ(road.announced_identities.size(), 2u);
  EXPECT_EQ(road.announced_identities[0].id, "codex");
  EXPECT_EQ(road.announced_identities[1].id, "cursor");
  EXPECT_EQ(road.replies_before_announce[0], 0u);
  EXPECT_NE(road.replies_before_announce[1], 0u);
  EXPECT_EQ(std::count(streams.out.begin(), streams.out.end(), '\n'), 2);
}

std::string initialize_line(const std::string& client) {
  return R"({"id":1,"method":"initialize","params":{"clientInfo":{"name":")" + client + "\"}}}\n";
}

std::string call_line(const std::string& tool) {
  return R"({"id":2,"method":"tools/call","params":{"name":")" + tool + "\"}}\n";
}

TEST(McpServeLoop, AnnouncesThroughTheRoadUntilTheAppTakesIt) {
  const std::string refused = "could not reach the app on 127.0.0.1:9: connection refused";
  const std::string diagnostic =
      "mcp: could not announce this client to the app (" + refused + ")\n";
  struct Case {
    const char* name;
    std::expected<bool, std::string> hello_answer;
    std::string input;
    std::vector<std::string> asked;
    std::string err;
    bool announced;
  };
  const Case cases[] = {
      {"no app yet: every tool call says hello before its exchange", false,
       call_line("office_save") + call_line("office_undo"),
       {"hello cli", "save {} from cli", "hello cli", "undo {} from cli"}, "", false},
      {"a failed hello is a diagnostic line each time, and serving goes on",
       std::unexpected(refused), initialize_line("Codex") + call_line("office_save"),
       {"hello codex", "hello codex", "save {} from codex"}, diagnostic + diagnostic, false},
      {"once the app took it, later calls and clients are not announced", true,
       initialize_line("Codex") + call_line("office_save") + initialize_line("Cursor") +
           call_line("office_redo"),
       {"hello codex", "save {} from codex", "redo {} from cursor"}, "", true},
      {"a refused call announces nothing and asks nothing", std::unexpected(refused),
       call_line("office_sav") + call_line("office_new") +
           R"({"id":2,"method":"tools/call","params":{}})" "\n",
       {}, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedStreams streams(c.input);
    RecordingRoad road;
    road.hello_answer = c.hello_answer;
    McpSession session{{"cli", {}, {}}, false};
    ASSERT_TRUE(serve(session, streams, road).has_value());
    EXPECT_EQ(road.asked, c.asked);
    EXPECT_EQ(streams.err, c.err);
    EXPECT_EQ(session.announced, c.announced);
    EXPECT_EQ(std::count(streams.out.begin(), streams.out.end(), '\n'),
              std::count(c.input.begin(), c.input.end(), '\n'));
  }
}

TEST(McpServeLoop, AFailedExchangeIsAToolError) {
  ScriptedStreams streams(call_line("office_status"));
  RecordingRoad road;
  road.answer = std::unexpected("no home directory");
  McpSession session{{"cli", {}, {}}, false};
  ASSERT_TRUE(serve(session, streams, road).has_value());
  EXPECT_EQ(streams.out,
            R"({"id":2,"jsonrpc":"2.0","result":{"content":[{"text":"no home directory",)"
            R"("type":"text"}],"isError":true}})" "\n");
}

TEST(McpServeLoop, ListsTheWholeCatalogueWhateverTheParams) {
  Served served = serve_text(R"({"id":1,"method":"tools/list"})" "\n"
                             R"({"id":1,"method":"tools/list","params":{"cursor":"x"}})" "\n");
  auto first_end = served.out.find('\n');
  std::string first = served.out.substr(0, first_end + 1);
  EXPECT_EQ(served.out, first + first);
  json::Value reply = json::parse(first).value();
  EXPECT_EQ(reply["result"].size(), 1u);
  EXPECT_EQ(reply["result"]["tools"].size(), 18u);
  EXPECT_TRUE(first.starts_with(R"({"id":1,"jsonrpc":"2.0","result":{"tools":[{"annotations")"));
}

// Ping and tools/list are written from text: byte for byte what rpc_result gives.
TEST(McpServeLoop, WritesPingAndTheCatalogueAsTheirReplyValues) {
  const json::Value catalogue =
      json::Value::object({{"tools", json::Value(tool_catalogue())}});
  for (const char* id : {"null", "0", "-1.5", R"("a\"\u00e9\n")", R"({"b":[1,{}],"a":null})"}) {
    SCOPED_TRACE(id);
    const std::string ask = std::string(R"({"id":)") + id + R"(,"method":)";
    Served served = serve_text(ask + R"("tools/list"})" "\n" + ask + R"("ping"})" "\n" + ask +
                               R"("tools/list"})" "\n");
    const json::Value id_value = json::parse(id).value();
    const std::string list = json::to_compact(rpc_result(id_value, catalogue)).value() + "\n";
    const std::string ping =
        json::to_compact(rpc_result(id_value, json::Value::object())).value() + "\n";
    EXPECT_EQ(served.out, list + ping + list);
  }
}

}  // namespace
}  // namespace tov::mcp
