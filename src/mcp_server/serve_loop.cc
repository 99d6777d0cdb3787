// One message a line in, one reply a line out, strictly in turn.
#include "mcp_server/serve_loop.h"

#include <string>
#include <utility>
#include <vector>

#include "cli_protocol/client_identity.h"
#include "cli_protocol/unicode_text.h"
#include "mcp_server/tool_catalogue.h"

namespace tov::mcp {
namespace {

constexpr std::int32_t kMethodNotFound = -32601;
constexpr std::size_t kReadChunk = 64 * 1024;

json::Value tools_list() {
  std::vector<json::Value> tools = tool_catalogue();
  return json::Value::object({{"tools", json::Value(std::move(tools))}});
}

// What a message holds under `key`, or nothing.
const json::Value* member(const json::Value& message, const char* key) {
  auto it = message.find(key);
  return it == message.end() ? nullptr : &*it;
}

}  // namespace

std::expected<std::optional<std::string>, std::string> LineReader::next() {
  for (;;) {
    std::string line;
    if (std::size_t feed = pending_.find('\n', scanned_); feed != std::string::npos) {
      line = pending_.substr(start_, feed - start_);
      start_ = scanned_ = feed + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
    } else if (ended_) {
      if (start_ == pending_.size()) return std::nullopt;
      line = pending_.substr(start_);
      start_ = scanned_ = pending_.size();
    } else {
      pending_.erase(0, start_);
      start_ = 0;
      scanned_ = pending_.size();
      chunk_.resize(kReadChunk);
      auto got = streams_.read(chunk_);
      if (!got) {
        if (got.error().kind == platform::ErrorKind::Interrupted) continue;
        return std::unexpected(got.error().message);
      }
      if (*got == 0) ended_ = true;
      pending_.append(chunk_.data(), *got);
      continue;
    }
    if (!text::is_valid_utf8(line)) return std::unexpected("stream did not contain valid UTF-8");
    return line;
  }
}

McpSession new_session() {
  auto found = protocol::detect_client(std::nullopt);
  return McpSession{found ? std::move(*found) : protocol::ClientIdentity{"cli", {}, {}}, false};
}

std::optional<json::Value> reply_to(McpSession& session, const json::Value& message,
                                    AppRoad& road) {
  if (!message.is_object()) return std::nullopt;
  const json::Value* method = member(message, "method");
  if (method == nullptr || !method->is_string()) return std::nullopt;
  const json::Value* id = member(message, "id");
  if (id == nullptr) return std::nullopt;  // a notification

  const std::string& name = method->get_ref<const std::string&>();
  const json::Value* params = member(message, "params");
  if (name == "initialize") return rpc_result(*id, handle_initialize(session, params, road));
  if (name == "ping") return rpc_result(*id, json::Value::object());
  if (name == "tools/list") return rpc_result(*id, tools_list());
  if (name == "tools/call") return road.call_tool(session, *id, params);
  return rpc_error(*id, kMethodNotFound, "Method not found: " + name);
}

std::expected<void, std::string> serve(McpSession& session, ServeStreams& streams,
                                       AppRoad& road) {
  LineReader lines(streams);
  for (;;) {
    auto line = lines.next();
    if (!line) return std::unexpected(line.error());
    if (!*line) return {};
    if (text::trim(**line).empty()) continue;

    auto message = json::parse(**line);
    if (!message) {
      streams.diagnostic("mcp: unreadable message (" + message.error().message + ")\n");
      continue;
    }
    std::optional<json::Value> reply = reply_to(session, *message, road);
    if (!reply) continue;

    std::string bytes;
    if (auto r = json::append_compact(bytes, *reply); !r) return std::unexpected(r.error().message);
    bytes += '\n';
    if (auto r = streams.write_reply(bytes); !r) return std::unexpected(r.error().message);
  }
}

}  // namespace tov::mcp
