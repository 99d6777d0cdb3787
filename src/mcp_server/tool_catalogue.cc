// The catalogue is fixed data: one row per tool, one row per property. The rows are turned
// into JSON schema objects in one place, so the table below reads like a reference card.
#include "mcp_server/tool_catalogue.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "json/json.h"

namespace tov::mcp {
namespace {

struct Hints {
  bool read_only;
  bool destructive;
  bool idempotent;
};

// A property of an object schema. `keys` holds every schema key but "description"; an empty
// description means the property has none.
struct Property {
  std::string_view name;
  bool required;
  json::Value keys;
  std::string_view description;
};

struct Tool {
  std::string_view name;
  std::optional<Hints> hints;
  std::string_view description;
  std::vector<Property> properties;
};

constexpr bool kRequired = true;
constexpr bool kOptional = false;

json::Value typed(std::string_view type) { return json::Value::object({{"type", type}}); }

json::Value string_min(int min_length) {
  return json::Value::object({{"type", "string"}, {"minLength", min_length}});
}

json::Value string_array() {
  return json::Value::object(
      {{"type", "array"}, {"minItems", 1}, {"items", string_min(1)}});
}

json::Value string_enum(std::vector<std::string> values) {
  return json::Value::object({{"type", "string"}, {"enum", std::move(values)}});
}

// "anyOf" alternatives, each a plain typed schema or a prepared one.
json::Value any_of(std::vector<json::Value> alternatives) {
  return json::Value::object({{"anyOf", json::Value(std::move(alternatives))}});
}

// type, properties, required (only when something is) and additionalProperties.
json::Value object_schema(const std::vector<Property>& properties) {
  json::Value props = json::Value::object();
  json::Value required = json::Value::array();
  for (const Property& p : properties) {
    json::Value schema = p.keys;
    if (!p.description.empty()) schema["description"] = p.description;
    props[std::string(p.name)] = std::move(schema);
    if (p.required) required.push_back(p.name);
  }
  json::Value schema = json::Value::object(
      {{"type", "object"}, {"properties", std::move(props)}, {"additionalProperties", false}});
  if (!required.empty()) schema["required"] = std::move(required);
  return schema;
}

// The shared fragments.
Property target_property() {
  return {"target", kOptional, typed("string"),
          "Tab id from office_status. Omit for the active tab."};
}

Property destination_path_property() {
  return {"path", kRequired, typed("string"), "Absolute destination path."};
}

std::vector<Tool> tools() {
  return {
      {"office_new_from_template",
       Hints{false, false, false},
       "Create an editable document in a new tab from the app's template library. First call "
       "office_templates and choose an item by its name, description and category; pass its "
       "exact id as templateId and its format. Use the same locale as the listing to select "
       "the same language variant. Downloads and verifies the template before opening it. "
       "Returns the new tab and document state; the document is unsaved until office_save_as "
       "writes a path. Existing tabs are preserved. Each successful call creates a new "
       "document; inspect office_status before retrying an uncertain result.",
       {
           {"format", kRequired, string_min(1), ""},
           {"templateId", kRequired, string_min(1), "Exact item id returned by office_templates."},
           {"locale", kOptional, string_min(1),
            "Use the locale returned by office_templates; defaults to the app language."},
       }},
      {"office_templates",
       Hints{true, false, true},
       "Read the template library offered by New Document in this app, without opening a "
       "document. Returns available, supported formats, locale, total, from, returned, "
       "nextFrom when another page exists, and items with id, format, name, description, "
       "category, previewUrl, fileUrl and optional slides, bytes and sha256. Omit format for "
       "all configured formats. Unconfigured formats return available=false and an empty "
       "list. Use office_new_from_template with a selected item to create a document; "
       "office_new creates a blank document.",
       {
           {"format", kOptional, string_min(1), "Optional file extension, such as pptx."},
           {"locale", kOptional, string_min(1),
            "Defaults to the app language; catalog translations fall back to English."},
           {"from", kOptional,
            json::Value::object({{"type", "integer"}, {"minimum", 0}, {"default", 0}}), ""},
           {"limit", kOptional,
            json::Value::object(
                {{"type", "integer"}, {"minimum", 1}, {"maximum", 100}, {"default", 50}}),
            ""},
       }},
      {"office_status",
       Hints{true, false, true},
       "The registered artifact formats and every open tab with its id, format, capabilities, "
       "surface state, session epoch and revision. Call this first; other tools take an "
       "optional tab id, and omitting it means the active tab.",
       {}},
      {"office_manifest",
       Hints{true, false, true},
       "Discover a tab's AI actions without flooding context. With no filter this returns a "
       "compact command index. Pass exact types for their full JSON Schemas, or groups for a "
       "compact category index. Use full only for legacy callers that truly need every "
       "schema.",
       {
           target_property(),
           {"types", kOptional, string_array(),
            "Exact command names whose complete schemas are needed."},
           {"groups", kOptional, string_array(),
            "Command categories whose lightweight index is needed."},
           {"full", kOptional, typed("boolean"),
            "Return the complete legacy manifest. Cannot be combined with types or groups."},
       }},
      {"office_open",
       std::nullopt,
       "Open a local document in Quillboard: PowerPoint/PPTX, PDF, Markdown/MD, Word/DOCX, "
       "Excel/XLSX or VSDX, when supported by this build. Call office_status to check "
       "registered formats, then use this tool for a user-provided path even if no tabs are "
       "open. Use access=read to open read-only; omitted access defaults to readWrite. "
       "Import-only sources (RTF, legacy DOC/PPT/XLS/VSD, CSV and JMP) always open read-only "
       "whatever access says; RTF and DOC open as their converted Word document, so Word read "
       "actions work on them. Editing needs an editable converted copy. Opening and editing "
       "are separate capabilities. Handles from a previous surface epoch are invalid after a "
       "reload.",
       {
           {"path", kRequired, typed("string"), "Absolute path to the file."},
           {"access", kOptional, string_enum({"read", "readWrite"}),
            "Read-only or editable access; defaults to readWrite. Ignored for import-only "
            "sources, which are always read-only."},
       }},
      {"office_execute",
       Hints{false, false, true},
       "Run one single-effect command batch against one ready artifact. Do not mix reads and "
       "writes. Writes require the latest options.baseRevision. Set options.operationId for "
       "idempotent retries and reuse it only for the exact same request.",
       {
           {"commands", kRequired,
            any_of({typed("object"),
                    json::Value::object({{"type", "array"}, {"items", typed("object")}})}),
            "One command object or an array of them, matching the manifest."},
           {"options", kOptional,
            object_schema({
                {"baseRevision", kOptional, any_of({typed("number"), typed("string")}), ""},
                {"summary", kOptional, typed("string"), ""},
                {"diagnostics", kOptional, typed("boolean"), ""},
                {"operationId", kOptional,
                 json::Value::object(
                     {{"type", "string"}, {"minLength", 1}, {"maxLength", 128}}),
                 ""},
            }),
            "Shared harness options. baseRevision is required for writes; operationId makes "
            "exact retries idempotent."},
           target_property(),
       }},
      {"office_register_media",
       Hints{false, false, false},
       "Register an image from an absolute local file in the active DOCX session and return "
       "an assetId for picture.insert, picture.replace, or drawing image elements. Binary "
       "content never travels through MCP JSON.",
       {
           {"source", kRequired, object_schema({{"path", kRequired, string_min(1), ""}}),
            "A Host-readable absolute local image path."},
           {"target", kOptional, typed("string"),
            "DOCX tab id from office_status. Omit for the active tab."},
       }},
      {"office_operation",
       Hints{true, false, true},
       "Read the remembered status and revision transition for an execute operationId in one "
       "tab.",
       {
           {"operationId", kRequired, string_min(1), ""},
           target_property(),
       }},
      {"office_undo",
       Hints{false, true, false},
       "Undo the last transaction in one editable tab and return its new state.",
       {target_property()}},
      {"office_redo",
       Hints{false, false, false},
       "Redo the next transaction in one editable tab and return its new state.",
       {target_property()}},
      {"office_new",
       std::nullopt,
       "Start an empty editable artifact in the app. Call office_status for the formats "
       "registered by this build. It has no path until office_save_as names it.",
       {
           {"format", kRequired, string_min(1),
            "A writable format id or extension returned by office_status."},
       }},
      {"office_clone",
       std::nullopt,
       "Verify and clone the complete current DOCX to a new path without saving, rebasing, "
       "closing or activating the source. Existing destinations are never overwritten. Reuse "
       "operationId only for an identical retry. Coverage is reported; visual and external "
       "Word checks remain notRun.",
       {
           {"target", kRequired, string_min(1), ""},
           {"path", kRequired, string_min(1), ""},
           {"baseRevision", kRequired,
            json::Value::object({{"type", "integer"}, {"minimum", 0}}), ""},
           {"operationId", kRequired, string_min(1), ""},
       }},
      {"office_save_as",
       std::nullopt,
       "Write the open document to a path of your choosing. This becomes the document's path, "
       "so later office_save calls go there too. Inspect handlesInvalidated in the result: "
       "when true, discard cached handles and baseRevision, use the returned "
       "sessionEpoch/revision, and reread context and relevant collections. idRemap is "
       "partial.",
       {
           destination_path_property(),
           target_property(),
       }},
      {"office_export",
       std::nullopt,
       "Export a copy in another format without changing what is open or where it saves. DOCX "
       "exports docx, pdf, html and text; PPTX exports pptx and pdf; XLSX exports xlsx, csv "
       "and tsv. Large exports may take up to 5 minutes; success acknowledges the completed "
       "file write. A timeout leaves the result uncertain: inspect the destination file "
       "before retrying.",
       {
           destination_path_property(),
           {"format", kRequired, typed("string"),
            "Target format, as the manifest's editor supports."},
           target_property(),
       }},
      {"office_close",
       std::nullopt,
       "Close a tab. A tab with unsaved changes is refused unless force is true, so save it or "
       "ask the user before forcing. office_status reports each tab's dirty flag.",
       {
           target_property(),
           {"force", kOptional, typed("boolean"),
            "Discard unsaved changes. Only with the user's agreement."},
       }},
      {"office_select_tab",
       std::nullopt,
       "Bring a tab to the front, so the user sees the document you are about to work on. "
       "Does not change what other tools act on — they take their own target.",
       {
           {"target", kRequired, typed("string"), "Tab id from office_status."},
       }},
      {"office_submit_feedback",
       Hints{false, false, false},
       "Report a problem with this app, or an idea for improving it, to the people who "
       "maintain it. Use it when the app misbehaves, refuses something it should support, or "
       "has no command for what the user asked — after you have finished or given up on the "
       "task, not instead of doing it. Write what you were trying to do and what happened; "
       "the report carries no document, no logs and nothing else from the session, so "
       "include whatever the maintainers would need in the description itself. Do not "
       "include the user's document text, personal data or credentials, and tell the user "
       "what you filed. A build that collects feedback elsewhere answers NotSupported.",
       {
           {"title", kRequired,
            json::Value::object({{"type", "string"}, {"minLength", 1}, {"maxLength", 200}}),
            "One line naming the problem or idea."},
           {"description", kRequired,
            json::Value::object({{"type", "string"}, {"minLength", 10}, {"maxLength", 7700}}),
            "What you were doing, what you expected, what happened. Include the command types "
            "involved when they matter."},
           {"type", kOptional, string_enum({"bug", "suggestion", "question", "other"}),
            "What the report is. Defaults to bug. A build whose collector files only bugs and "
            "suggestions narrows the other two onto them rather than refusing the report."},
           {"contact", kOptional, json::Value::object({{"type", "string"}, {"maxLength", 200}}),
            "A reply address, only if the user gave you one for this."},
       }},
      {"office_save",
       std::nullopt,
       "Write a tab's document back to its own path. Saving is a separate step: executing "
       "actions changes the in-memory document only, and the user can still undo before "
       "this. If handlesInvalidated is true, discard cached handles/baseRevision and reread "
       "context and relevant collections using the returned sessionEpoch/revision. idRemap "
       "is partial.",
       {target_property()}},
  };
}

json::Value definition(const Tool& tool) {
  json::Value def = json::Value::object({{"name", tool.name},
                                         {"description", tool.description},
                                         {"inputSchema", object_schema(tool.properties)}});
  if (tool.hints) {
    def["annotations"] = json::Value::object({{"readOnlyHint", tool.hints->read_only},
                                              {"destructiveHint", tool.hints->destructive},
                                              {"idempotentHint", tool.hints->idempotent}});
  }
  return def;
}

}  // namespace

std::vector<json::Value> tool_catalogue() {
  std::vector<json::Value> list;
  for (const Tool& tool : tools()) list.push_back(definition(tool));
  return list;
}

}  // namespace tov::mcp
