// One message a line in, one reply a line out, strictly in turn.
#include "mcp_server/serve_loop.h"

#include <string>
#include <utility>
#include <vector>

#include "cli_protocol/client_identity.h"
#include "json/json.h"
#include "mcp_server/tool_calls.h"
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

// Decides what each message of one loop gets, and writes it as compact text. Ping and
// tools/list, whose replies never change but for their id, are written from text; the
// catalogue's is made at the loop's first tools/list and kept for the others.
class Dispatcher {
 public:
  Dispatcher(McpSession& session, ServeStreams& streams, AppRoad& road)
      : session_(session), streams_(streams), road_(road) {}

  // Appends the reply to `message` to `out`, or nothing for a message that gets none.
  std::expected<void, json::WriteError> append_reply(std::string& out,
                                                     const json::Value& message) {
    const std::optional<Call> call = as_call(message);
    if (!call) return {};
    const json::Value& id = *call->id;
    const std::string& method = *call->method;
    if (method == "initialize") {
      json::Value result = handle_initialize(session_, call->params, road_, streams_);
      return json::append_compact(out, rpc_result(id, std::move(result)));
    }
    if (method == "ping") return append_result(out, id, "{}");
    if (method == "tools/list") {
      // Never empty once written; a failure to write it ends the loop.
      if (tools_text_.empty()) {
        if (auto r = json::append_compact(tools_text_, tools_list()); !r) return r;
      }
      return append_result(out, id, tools_text_);
    }
    if (method == "tools/call") {
      return json::append_compact(out,
                                  handle_tools_call(session_, id, call->params, road_, streams_));
    }
    return json::append_compact(out, rpc_error(id, kMethodNotFound, "Method not found: " + method));
  }

 private:
  McpSession& session_;
  ServeStreams& streams_;
  AppRoad& road_;
  std::string tools_text_;
};

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

std::expected<void, std::string> serve(McpSession& session, ServeStreams& streams,
                                       AppRoad& road) {
  LineReader lines(streams);
  Dispatcher dispatcher(session, streams, road);
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
    if (auto r = dispatcher.append_reply(bytes, *message); !r) {
      return std::unexpected(r.error().message);
    }
    if (bytes.empty()) continue;
    bytes += '\n';
    if (auto r = streams.write_reply(bytes); !r) return std::unexpected(r.error().message);
  }
}

}  // namespace tov::mcp
