// The serve loop apart from the process's streams and the app, so that it can run on strings.
#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "json/json.h"
#include "mcp_server/mcp_server.h"
#include "platform/platform.h"

namespace tov::mcp {

// Where the loop reads messages and writes replies and diagnostics.
class ServeStreams {
 public:
  virtual ~ServeStreams() = default;
  // One read of input; 0 at its end.
  virtual platform::IoResult<std::size_t> read(std::span<char> buffer) = 0;
  // Writes and flushes the bytes of one reply line.
  virtual platform::IoResult<void> write_reply(std::string_view bytes) = 0;
  // One diagnostic line, line feed included; its failure is not the loop's concern.
  virtual void diagnostic(std::string_view line) = 0;
};

// The loop's two ways to the app: the announcement at initialize, and tool calls.
class AppRoad {
 public:
  virtual ~AppRoad() = default;
  virtual void announce(McpSession& session) = 0;
  virtual json::Value call_tool(McpSession& session, json::Value id,
                                const json::Value* params) = 0;
};

// Splits input into lines: a line feed ends a line and goes, with a carriage return right
// before it; a last line without a line feed is still a line. No limit on a line's size.
class LineReader {
 public:
  explicit LineReader(ServeStreams& streams) : streams_(streams) {}
  // The next line, none at the end of input, or the error text that stopped reading
  // ("stream did not contain valid UTF-8" for a line that is not UTF-8).
  std::expected<std::optional<std::string>, std::string> next();

 private:
  ServeStreams& streams_;
  std::vector<char> chunk_;  // one read's worth
  std::string pending_;
  std::size_t start_ = 0;    // where the next line begins in pending_
  std::size_t scanned_ = 0;  // pending_ holds no line feed between start_ and here
  bool ended_ = false;
};

// The initial identity: the environment's agent, else "cli".
McpSession new_session();

// Runs the loop until input ends (success) or a read or write fails (its error text).
std::expected<void, std::string> serve(McpSession& session, ServeStreams& streams,
                                       AppRoad& road);

json::Value handle_initialize(McpSession& session, const json::Value* params, AppRoad& road);

}  // namespace tov::mcp
