// The MCP serve loop on arbitrary input with no app reachable (the caller makes sure of it:
// APPDATA names an empty folder and no app lies beside the binary). The first byte picks the
// size of the pieces that input arrives in, so that lines cross reads. The loop never
// crashes; every reply is one JSON-RPC line with an id; every diagnostic has the server's
// prefix; it stops with an error exactly when the input is not UTF-8.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "json/json.h"
#include "mcp_server/live_app_road.h"
#include "mcp_server/serve_loop.h"
#include "property.h"
#include "text/utf8.h"

namespace tov::fuzzing {
namespace mcp_serve {

class MemoryStreams final : public mcp::ServeStreams {
 public:
  MemoryStreams(std::string_view input, std::size_t piece) : input_(input), piece_(piece) {}
  platform::IoResult<std::size_t> read(std::span<char> buffer) override {
    const std::size_t n = std::min({buffer.size(), piece_, input_.size()});
    std::memcpy(buffer.data(), input_.data(), n);
    input_.remove_prefix(n);
    return n;
  }
  platform::IoResult<void> write_reply(std::string_view bytes) override {
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

inline void check_replies(std::string_view replies, Verdict& verdict) {
  while (!replies.empty()) {
    const std::size_t feed = replies.find('\n');
    if (!verdict.require(feed != std::string_view::npos, "every reply ends in a line feed"))
      return;
    const std::string_view line = replies.substr(0, feed);
    auto reply = json::parse(line);
    if (!verdict.require(reply.has_value(), "a reply is JSON", line)) return;
    verdict.require(reply->is_object() && reply->contains("id") &&
                        reply->value("jsonrpc", "") == "2.0" &&
                        reply->contains("result") != reply->contains("error"),
                    "a reply is a JSON-RPC response", line);
    replies.remove_prefix(feed + 1);
  }
}

inline void check_diagnostics(std::string_view diagnostics, Verdict& verdict) {
  while (!diagnostics.empty()) {
    if (!verdict.require(diagnostics.starts_with("mcp: "), "diagnostics have the prefix",
                         diagnostics))
      return;
    const std::size_t feed = diagnostics.find('\n');
    if (!verdict.require(feed != std::string_view::npos, "a diagnostic is one line")) return;
    diagnostics.remove_prefix(feed + 1);
  }
}

}  // namespace mcp_serve

inline void check_mcp_serve(std::string_view data, Verdict& verdict) {
  if (data.empty()) return;
  const std::size_t piece = 1 + static_cast<unsigned char>(data[0]) % 32;
  const std::string_view input = data.substr(1);

  mcp_serve::MemoryStreams streams(input, piece);
  // The real road: with no app, the announcement and tool calls must fail fast and start
  // nothing.
  mcp::LiveAppRoad road;
  mcp::McpSession session = mcp::new_session();
  auto served = mcp::serve(session, streams, road);
  verdict.require(served.has_value() == text::is_valid_utf8(input),
                  "the loop stops with an error exactly when the input is not UTF-8");
  if (!served) {
    verdict.require(served.error() == "stream did not contain valid UTF-8", "the UTF-8 error text",
                    served.error());
  }
  verdict.require(!session.announced, "nothing is announced without an app");
  mcp_serve::check_replies(streams.replies, verdict);
  mcp_serve::check_diagnostics(streams.diagnostics, verdict);
}

}  // namespace tov::fuzzing
