// The serve loop bound to the process: standard input and output, and the real app.
#include "mcp_server/live_app_road.h"
#include "mcp_server/mcp_server.h"
#include "mcp_server/serve_loop.h"
#include "platform/platform.h"

namespace tov::mcp {
namespace {

class StdioStreams final : public ServeStreams {
 public:
  platform::IoResult<std::size_t> read(std::span<char> buffer) override {
    return platform::read_stdin(buffer);
  }
  platform::IoResult<void> write_reply(std::string_view bytes) override {
    return platform::write_stdout(bytes);
  }
  void diagnostic(std::string_view line) override { (void)platform::write_stderr(line); }
};

}  // namespace

std::expected<void, std::string> serve_stdio() {
  McpSession session = new_session();
  StdioStreams streams;
  LiveAppRoad road;
  return serve(session, streams, road);
}

}  // namespace tov::mcp
