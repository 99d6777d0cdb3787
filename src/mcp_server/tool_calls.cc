// tools/call: each tool is one row that names its operation and how its parameters are
// built and checked. A call is checked in full before anything reaches the app, so a
// refused call announces nothing, starts nothing and sends nothing.
#include "mcp_server/tool_calls.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "mcp_server/tool_result.h"

namespace tov::mcp {
namespace {

constexpr std::int32_t kInvalidParams = -32602;

using Target = std::optional<std::string>;
using Built = std::expected<json::Value, std::string>;
using BuildParams = Built (*)(const json::Value& arguments, const Target& target);

// What a tool does with the tab target ("target" in its arguments).
enum class TargetUse {
  kNone,         // the tool is not about a tab, or it has a rule of its own (select-tab)
  kInArguments,  // about a tab: the target travels inside the arguments it forwards
  kAdded,        // about a tab: `with_target` adds it to the built parameters
  kRequired,     // clone: added, and its builder refuses a call without one
};

struct ToolRow {
  std::string_view name;
  std::string_view op;
  BuildParams params;
  TargetUse target;
};

// Lookups in the tool arguments find nothing when they are not an object.
const json::Value* find(const json::Value& arguments, const char* key) {
  if (!arguments.is_object()) return nullptr;
  auto it = arguments.find(key);
  return it == arguments.end() ? nullptr : &*it;
}

const std::string* find_string(const json::Value& arguments, const char* key) {
  const json::Value* value = find(arguments, key);
  return value != nullptr && value->is_string() ? &value->get_ref<const std::string&>() : nullptr;
}

// A JSON integer from 0 to 2^64-1; no fraction, exponent or text of digits.
std::optional<std::uint64_t> find_unsigned(const json::Value& arguments, const char* key) {
  const json::Value* value = find(arguments, key);
  if (value == nullptr) return std::nullopt;
  if (value->is_number_unsigned()) return value->get<std::uint64_t>();
  if (value->is_number_integer() && value->get<std::int64_t>() >= 0) {
    return static_cast<std::uint64_t>(value->get<std::int64_t>());
  }
  return std::nullopt;
}

Built refuse(std::string_view message) { return std::unexpected(std::string(message)); }

// {key: the argument's text}, or the refusal when it is missing or no text.
Built text_param(const json::Value& arguments, const char* key, std::string_view refusal) {
  const std::string* text = find_string(arguments, key);
  if (text == nullptr) return refuse(refusal);
  return json::Value::object({{key, *text}});
}

Built unchanged(const json::Value& arguments, const Target&) { return arguments; }

Built nothing(const json::Value&, const Target&) { return json::Value::object(); }

Built build_open_params(const json::Value& arguments) {
  const std::string* path = find_string(arguments, "path");
  if (path == nullptr) return refuse("office_open needs a path.");
  json::Value params = json::Value::object({{"path", *path}});
  const json::Value* access = find(arguments, "access");
  if (access == nullptr) return params;
  if (*access != "read" && *access != "readWrite") {
    return refuse("office_open access must be read or readWrite.");
  }
  params["access"] = *access;
  return params;
}

Built open_params(const json::Value& arguments, const Target&) {
  return build_open_params(arguments);
}

// Only the presence of "commands" counts; the app judges the batch.
Built execute_params(const json::Value& arguments, const Target&) {
  if (find(arguments, "commands") == nullptr) return refuse("office_execute needs \"commands\".");
  return arguments;
}

Built media_params(const json::Value& arguments, const Target&) {
  const json::Value* source = find(arguments, "source");
  if (source == nullptr) return refuse("office_register_media needs a \"source\".");
  return json::Value::object({{"source", *source}});
}

Built operation_params(const json::Value& arguments, const Target&) {
  return text_param(arguments, "operationId", "office_operation needs an \"operationId\".");
}

Built new_params(const json::Value& arguments, const Target&) {
  return text_param(arguments, "format", "office_new needs a \"format\".");
}

Built clone_params(const json::Value& arguments, const Target& target) {
  const std::string* path = find_string(arguments, "path");
  std::optional<std::uint64_t> base_revision = find_unsigned(arguments, "baseRevision");
  const std::string* operation_id = find_string(arguments, "operationId");
  if (path == nullptr || !base_revision || operation_id == nullptr) {
    return refuse("office_clone needs path, baseRevision and operationId.");
  }
  if (!target) return refuse("office_clone needs target.");
  return json::Value::object(
      {{"path", *path}, {"baseRevision", *base_revision}, {"operationId", *operation_id}});
}

Built save_as_params(const json::Value& arguments, const Target&) {
  return text_param(arguments, "path", "office_save_as needs a \"path\".");
}

Built export_params(const json::Value& arguments, const Target&) {
  const std::string* path = find_string(arguments, "path");
  const std::string* format = find_string(arguments, "format");
  if (path == nullptr || format == nullptr) {
    return refuse("office_export needs \"path\" and \"format\".");
  }
  return json::Value::object({{"path", *path}, {"format", *format}});
}

Built close_params(const json::Value& arguments, const Target&) {
  const json::Value* force = find(arguments, "force");
  bool forced = force != nullptr && force->is_boolean() && force->get<bool>();
  return json::Value::object({{"force", forced}});
}

Built select_tab_params(const json::Value&, const Target& target) {
  if (!target) return refuse("office_select_tab needs a \"target\".");
  return json::Value::object({{"target", *target}});
}

// The target is never forwarded here: feedback is about the app, not a tab.
Built feedback_params(const json::Value& arguments, const Target&) {
  const std::string* title = find_string(arguments, "title");
  const std::string* description = find_string(arguments, "description");
  if (title == nullptr || description == nullptr) {
    return refuse("office_submit_feedback needs a \"title\" and a \"description\".");
  }
  json::Value params = json::Value::object({{"title", *title}, {"description", *description}});
  for (const char* key : {"type", "contact"}) {
    if (const std::string* text = find_string(arguments, key)) params[key] = *text;
  }
  return params;
}

using enum TargetUse;

constexpr ToolRow kTools[] = {
    {"office_new_from_template", "templates.create", unchanged, kNone},
    {"office_templates", "templates.list", unchanged, kNone},
    {"office_status", "status", nothing, kNone},
    {"office_manifest", "manifest", unchanged, kInArguments},
    {"office_open", "open", open_params, kNone},
    {"office_execute", "execute", execute_params, kInArguments},
    {"office_register_media", "mediaRegister", media_params, kAdded},
    {"office_operation", "operation", operation_params, kAdded},
    {"office_undo", "undo", nothing, kAdded},
    {"office_redo", "redo", nothing, kAdded},
    {"office_new", "new", new_params, kNone},
    {"office_clone", "document.clone", clone_params, kRequired},
    {"office_save_as", "saveAs", save_as_params, kAdded},
    {"office_export", "export", export_params, kAdded},
    {"office_close", "close", close_params, kAdded},
    {"office_select_tab", "selectTab", select_tab_params, kNone},
    {"office_submit_feedback", "feedback", feedback_params, kNone},
    {"office_save", "save", nothing, kAdded},
};

// Sets "target" on an object; anything else goes unchanged.
json::Value with_target(json::Value params, const std::optional<std::string>& target) {
  if (params.is_object() && target) params["target"] = *target;
  return params;
}

const ToolRow* find_tool(std::string_view name) {
  for (const ToolRow& row : kTools) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

}  // namespace

std::expected<ToolCall, json::Value> prepare_tool_call(const json::Value& id,
                                                      const json::Value* params) {
  const json::Value* name_value = params != nullptr ? find(*params, "name") : nullptr;
  if (name_value == nullptr || !name_value->is_string()) {
    return std::unexpected(rpc_error(id, kInvalidParams, "tools/call needs a tool name"));
  }
  const std::string& name = name_value->get_ref<const std::string&>();
  const json::Value* given = find(*params, "arguments");
  json::Value arguments = given != nullptr ? *given : json::Value::object();
  Target target;
  if (const std::string* text = find_string(arguments, "target")) target = *text;

  const ToolRow* tool = find_tool(name);
  if (tool == nullptr) return std::unexpected(tool_error_result(id, "Unknown tool: " + name));
  Built built = tool->params(arguments, target);
  if (!built) return std::unexpected(tool_error_result(id, std::move(built.error())));
  if (tool->target == kInArguments || tool->target == kAdded) {
    // A number or an object is no tab id: dropping it would act on the active tab instead.
    const json::Value* given_target = find(arguments, "target");
    if (given_target != nullptr && !given_target->is_string() && !given_target->is_null()) {
      return std::unexpected(tool_error_result(
          id, std::string(name) + " target must be a string (a tab id from office_status)."));
    }
  }
  if (tool->target == kAdded || tool->target == kRequired) {
    return ToolCall{tool->op, with_target(std::move(*built), target)};
  }
  return ToolCall{tool->op, std::move(*built)};
}

json::Value handle_tools_call(McpSession& session, json::Value id, const json::Value* params,
                              AppRoad& road, ServeStreams& streams) {
  auto call = prepare_tool_call(id, params);
  if (!call) return std::move(call.error());
  announce_client(session, road, streams);
  auto answer = road.ask_app(session, call->op, std::move(call->params));
  if (!answer) return tool_error_result(std::move(id), std::move(answer.error()));
  return rpc_result(std::move(id), tool_result(std::move(*answer)));
}

}  // namespace tov::mcp
