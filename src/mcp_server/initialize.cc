// initialize: the protocol version, the client's identity, and what the server offers.
#include <optional>
#include <string>
#include <string_view>

#include "cli_protocol/brand.h"
#include "cli_protocol/client_identity.h"
#include "json/json.h"
#include "mcp_server/serve_loop.h"
#include "text/unicode_text.h"

namespace tov::mcp {
namespace {

// The protocol versions the server speaks, the latest (the default) first.
constexpr std::string_view kProtocolVersions[] = {"2025-11-25", "2025-06-18"};
constexpr std::string_view kServerVersion = "0.1.75";

constexpr std::string_view kInstructions =
    "Use Quillboard to open, read, edit, create and export local documents, including "
    "Word/DOCX, PowerPoint/PPTX, Excel/XLSX, PDF, Markdown/MD and VSDX when registered by this "
    "build. Call office_status first to discover supported formats and tabs. If the user "
    "supplies a file path, call office_open even when no tabs are open; do not stop at an "
    "empty tab list. For a blank document use office_new with a writable registered format. "
    "To start from a template, call office_templates, choose a suitable item, then call "
    "office_new_from_template with its format, id and locale; save the result with "
    "office_save_as. After opening, use the returned tab id, wait for its surface to be ready, "
    "and call office_manifest to discover its actual read/edit capabilities. Preview-only "
    "formats may open without supporting edits.";

// The member `key` of `value` when `value` is an object that holds a string there.
std::optional<std::string_view> string_member(const json::Value* value, const char* key) {
  if (value == nullptr || !value->is_object()) return std::nullopt;
  auto it = value->find(key);
  if (it == value->end() || !it->is_string()) return std::nullopt;
  return std::string_view(it->get_ref<const std::string&>());
}

// The client's version if it names one we speak, else the latest: no client is refused.
std::string_view protocol_version(const json::Value* params) {
  std::optional<std::string_view> asked = string_member(params, "protocolVersion");
  for (std::string_view version : kProtocolVersions) {
    if (asked == version) return version;
  }
  return kProtocolVersions[0];
}

// The identity that "clientInfo" names, when it gives a usable name.
std::optional<protocol::ClientIdentity> identity_from(const json::Value* params) {
  if (params == nullptr || !params->is_object()) return std::nullopt;
  auto info = params->find("clientInfo");
  if (info == params->end() || !info->is_object()) return std::nullopt;
  const json::Value* client = &*info;
  std::optional<std::string_view> raw_name = string_member(client, "name");
  if (!raw_name) return std::nullopt;
  std::string_view name = text::trim(*raw_name);
  if (name.empty()) return std::nullopt;

  std::optional<std::string_view> title;
  if (auto raw = string_member(client, "title")) title = text::trim(*raw);
  std::optional<std::string> version;
  if (auto raw = string_member(client, "version"); raw && !text::trim(*raw).empty()) {
    version = std::string(text::trim(*raw));
  }
  std::string label(title && !title->empty() ? *title : name);
  return protocol::ClientIdentity{protocol::normalize_agent_name(name), std::move(version),
                                  std::move(label)};
}

}  // namespace

json::Value handle_initialize(McpSession& session, const json::Value* params, AppRoad& road,
                              ServeStreams& streams) {
  std::string server_name = protocol::brand_product_name();
  std::string_view version = protocol_version(params);
  if (auto identity = identity_from(params)) session.identity = std::move(*identity);
  announce_client(session, road, streams);
  return json::Value::object(
      {{"capabilities", json::Value::object({{"tools", json::Value::object()}})},
       {"instructions", kInstructions},
       {"protocolVersion", version},
       {"serverInfo", json::Value::object({{"name", server_name}, {"version", kServerVersion}})}});
}

}  // namespace tov::mcp
