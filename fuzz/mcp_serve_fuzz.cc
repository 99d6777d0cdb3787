// The MCP serve loop on arbitrary input, with no app reachable: APPDATA names an empty
// folder, so the announcement finds no control file and a tool call fails without starting
// anything. The loop never crashes; every reply is one JSON-RPC line with an id; every
// diagnostic has the server's prefix; it stops with an error only for input that is not UTF-8.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "cli_protocol/app_launch.h"
#include "cli_protocol/control_call.h"
#include "cli_protocol/unicode_text.h"
#include "fuzz_check.h"
#include "json/json.h"
#include "mcp_server/serve_loop.h"
#include "mcp_server/tool_calls.h"
#include "platform/platform.h"

using tov::fuzzing::require;

namespace {

// Input in pieces of a fixed size (so lines cross reads), replies and diagnostics kept.
class MemoryStreams final : public tov::mcp::ServeStreams {
 public:
  MemoryStreams(std::string_view input, std::size_t piece) : input_(input), piece_(piece) {}
  tov::platform::IoResult<std::size_t> read(std::span<char> buffer) override {
    std::size_t n = std::min({buffer.size(), piece_, input_.size()});
    std::memcpy(buffer.data(), input_.data(), n);
    input_.remove_prefix(n);
    return n;
  }
  tov::platform::IoResult<void> write_reply(std::string_view bytes) override {
    replies += bytes;
    return {};
  }
  void diagnostic(std::string_view line) override { diagnostics += line; }

  std::string replies;
  std::string diagnostics;

 private:
  std::string_view input_;
  std::size_t piece_;
};

class NoAppRoad final : public tov::mcp::AppRoad {
 public:
  void announce(tov::mcp::McpSession& session) override { tov::mcp::announce_client(session); }
  tov::json::Value call_tool(tov::mcp::McpSession& session, tov::json::Value id,
                             const tov::json::Value* params) override {
    return tov::mcp::handle_tools_call(session, std::move(id), params);
  }
};

void check_replies(std::string_view replies) {
  while (!replies.empty()) {
    std::size_t feed = replies.find('\n');
    require(feed != std::string_view::npos, "every reply ends in a line feed");
    auto reply = tov::json::parse(replies.substr(0, feed));
    require(reply.has_value(), "a reply is JSON", replies.substr(0, feed));
    require(reply->is_object() && reply->contains("id") && (*reply)["jsonrpc"] == "2.0" &&
                (reply->contains("result") != reply->contains("error")),
            "a reply is a JSON-RPC response", replies.substr(0, feed));
    replies.remove_prefix(feed + 1);
  }
}

void check_diagnostics(std::string_view diagnostics) {
  while (!diagnostics.empty()) {
    require(diagnostics.starts_with("mcp: "), "diagnostics have the prefix", diagnostics);
    std::size_t feed = diagnostics.find('\n');
    require(feed != std::string_view::npos, "a diagnostic is one line");
    diagnostics.remove_prefix(feed + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  auto path = tov::protocol::control_file_path();
  if (!path || tov::platform::metadata(*path) || tov::protocol::app_executable_path()) {
    std::fprintf(stderr,
                 "mcp_serve_fuzz: set APPDATA to an empty folder, and keep the app away from "
                 "this binary: no app may be reachable\n");
    std::exit(2);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::size_t piece = 1 + data[0] % 32;
  std::string_view input = tov::fuzzing::as_text(data + 1, size - 1);

  MemoryStreams streams(input, piece);
  NoAppRoad road;
  tov::mcp::McpSession session = tov::mcp::new_session();
  auto served = tov::mcp::serve(session, streams, road);
  require(served.has_value() == tov::text::is_valid_utf8(input),
          "the loop stops with an error exactly when the input is not UTF-8");
  if (!served) {
    require(served.error() == "stream did not contain valid UTF-8", "the UTF-8 error text",
            served.error());
  }
  require(!session.announced, "nothing is announced without an app");
  check_replies(streams.replies);
  check_diagnostics(streams.diagnostics);
  return 0;
}
