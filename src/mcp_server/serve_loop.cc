// One message a line in, one reply a line out, strictly in turn.
#include "mcp_server/serve_loop.h"

#include <string>
#include <utility>
#include <vector>

#include "cli_protocol/client_identity.h"
#include "mcp_server/tool_catalogue.h"
#include "text/unicode_text.h"
#include "text/utf8.h"

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

// A message that asks for a reply.
struct Call {
  const json::Value* id;
  const std::string* method;
  const json::Value* params;  // none when absent
};

// The call in `message`, or none for anything that gets no reply.
std::optional<Call> as_call(const json::Value& message) {
  if (!message.is_object()) return std::nullopt;
  const json::Value* method = member(message, "method");
  if (method == nullptr || !method->is_string()) return std::nullopt;
  const json::Value* id = member(message, "id");
  if (id == nullptr) return std::nullopt;  // a notification
  return Call{id, &method->get_ref<const std::string&>(), member(message, "params")};
}

// The text of rpc_result(id, result) where `result` is given as compact text: the keys in
// the order that the writer puts them.
std::expected<void, json::WriteError> append_result(std::string& out, const json::Value& id,
                                                    std::string_view result) {
  out += "{\"id\":";
  if (auto r = json::append_compact(out, id); !r) return r;
  out += ",\"jsonrpc\":\"2.0\",\"result\":";
  out += result;
  out += '}';
  return {};
}

// The reply line for one message, left empty for a message that gets none. Ping and
// tools/list, the replies that never change but for their id, are written as text: the
// catalogue is written once, at the loop's first tools/list, and kept in `tools_text`.
std::expected<void, json::WriteError> append_reply(std::string& out, std::string& tools_text,
                                                   McpSession& session,
                                                   const json::Value& message, AppRoad& road) {
  const std::optional<Call> call = as_call(message);
  if (!call) return {};
  if (*call->method == "ping") return append_result(out, *call->id, "{}");
  if (*call->method == "tools/list") {
    if (tools_text.empty()) {
      if (auto r = json::append_compact(tools_text, tools_list()); !r) return r;
    }
    return append_result(out, *call->id, tools_text);
  }
  std::optional<json::Value> reply = reply_to(session, message, road);
  if (!reply) return {};
  return json::append_compact(out, *reply);
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
  const std::optional<Call> call = as_call(message);
  if (!call) return std::nullopt;
  const json::Value& id = *call->id;
  const std::string& name = *call->method;
  if (name == "initialize") return rpc_result(id, handle_initialize(session, call->params, road));
  if (name == "ping") return rpc_result(id, json::Value::object());
  if (name == "tools/list") return rpc_result(id, tools_list());
  if (name == "tools/call") return road.call_tool(session, id, call->params);
  return rpc_error(id, kMethodNotFound, "Method not found: " + name);
}

std::expected<void, std::string> serve(McpSession& session, ServeStreams& streams,
                                       AppRoad& road) {
  LineReader lines(streams);
  std::string tools_text;
  std::string bytes;
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
    bytes.clear();
    if (auto r = append_reply(bytes, tools_text, session, *message, road); !r) {
      return std::unexpected(r.error().message);
    }
    if (bytes.empty()) continue;
    bytes += '\n';
    if (auto r = streams.write_reply(bytes); !r) return std::unexpected(r.error().message);
  }
}

}  // namespace tov::mcp
