// The serve loop apart from the process's streams and the app, so that it can run on strings.
#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli_protocol/records.h"
#include "json/json_fwd.h"
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

// The loop's two ways to the app. Only these touch it; what is said, when, and what a
// failure becomes are the loop's.
class AppRoad {
 public:
  virtual ~AppRoad() = default;
  // The "hello" that tells a running app which agent is connected; it never starts one.
  // Whether the app took it (false also when no app has published its control file), or
  // the text of what failed.
  virtual std::expected<bool, std::string> say_hello(const McpSession& session) = 0;
  // The one exchange of a checked tool call, the app started when it is not running: the
  // app's answer, or the text of what failed.
  virtual std::expected<protocol::Response, std::string> ask_app(const McpSession& session,
                                                                 std::string_view op,
                                                                 json::Value params) = 0;
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

json::Value handle_initialize(McpSession& session, const json::Value* params, AppRoad& road,
                              ServeStreams& streams);

// Says "hello" through `road` until the app has taken it once; a failure is one diagnostic
// line, and serving goes on.
void announce_client(McpSession& session, AppRoad& road, ServeStreams& streams);

}  // namespace tov::mcp
