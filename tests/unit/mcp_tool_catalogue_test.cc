#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "json/json.h"
#include "mcp_server/tool_catalogue.h"

namespace tov::mcp {
namespace {

struct ExpectedTool {
  const char* name;
  const char* hints;  // "readOnly/destructive/idempotent" as 0 and 1, or nullptr for none
  std::vector<std::string> required;
  const char* description;  // what an agent reads to choose the tool, byte for byte
};

const ExpectedTool kExpected[] = {
    {"office_new_from_template",
     "000",
     {"format", "templateId"},
     "Create an editable document in a new tab from the app's template library. First call "
     "office_templates and choose an item by its name, description and category; pass its "
     "exact id as templateId and its format. Use the same locale as the listing to select the "
     "same language variant. Downloads and verifies the template before opening it. Returns "
     "the new tab and document state; the document is unsaved until office_save_as writes a "
     "path. Existing tabs are preserved. Each successful call creates a new document; inspect "
     "office_status before retrying an uncertain result."},
    {"office_templates",
     "101",
     {},
     "Read the template library offered by New Document in this app, without opening a "
     "document. Returns available, supported formats, locale, total, from, returned, nextFrom "
     "when another page exists, and items with id, format, name, description, category, "
     "previewUrl, fileUrl and optional slides, bytes and sha256. Omit format for all "
     "configured formats. Unconfigured formats return available=false and an empty list. Use "
     "office_new_from_template with a selected item to create a document; office_new creates "
     "a blank document."},
    {"office_status",
     "101",
     {},
     "The registered artifact formats and every open tab with its id, format, capabilities, "
     "surface state, session epoch and revision. Call this first; other tools take an "
     "optional tab id, and omitting it means the active tab."},
    {"office_manifest",
     "101",
     {},
     "Discover a tab's AI actions without flooding context. With no filter this returns a "
     "compact command index. Pass exact types for their full JSON Schemas, or groups for a "
     "compact category index. Use full only for legacy callers that truly need every schema."},
    {"office_open",
     nullptr,
     {"path"},
     "Open a local document in Quillboard: PowerPoint/PPTX, PDF, Markdown/MD, Word/DOCX, "
     "Excel/XLSX or VSDX, when supported by this build. Call office_status to check "
     "registered formats, then use this tool for a user-provided path even if no tabs are "
     "open. Use access=read to open read-only; omitted access defaults to readWrite. "
     "Import-only sources (RTF, legacy DOC/PPT/XLS/VSD, CSV and JMP) always open read-only "
     "whatever access says; RTF and DOC open as their converted Word document, so Word read "
     "actions work on them. Editing needs an editable converted copy. Opening and editing are "
     "separate capabilities. Handles from a previous surface epoch are invalid after a reload."},
    {"office_execute",
     "001",
     {"commands"},
     "Run one single-effect command batch against one ready artifact. Do not mix reads and "
     "writes. Writes require the latest options.baseRevision. Set options.operationId for "
     "idempotent retries and reuse it only for the exact same request."},
    {"office_register_media",
     "000",
     {"source"},
     "Register an image from an absolute local file in the active DOCX session and return an "
     "assetId for picture.insert, picture.replace, or drawing image elements. Binary content "
     "never travels through MCP JSON."},
    {"office_operation",
     "101",
     {"operationId"},
     "Read the remembered status and revision transition for an execute operationId in one "
     "tab."},
    {"office_undo",
     "010",
     {},
     "Undo the last transaction in one editable tab and return its new state."},
    {"office_redo",
     "000",
     {},
     "Redo the next transaction in one editable tab and return its new state."},
    {"office_new",
     nullptr,
     {"format"},
     "Start an empty editable artifact in the app. Call office_status for the formats "
     "registered by this build. It has no path until office_save_as names it."},
    {"office_clone",
     nullptr,
     {"target", "path", "baseRevision", "operationId"},
     "Verify and clone the complete current DOCX to a new path without saving, rebasing, "
     "closing or activating the source. Existing destinations are never overwritten. Reuse "
     "operationId only for an identical retry. Coverage is reported; visual and external Word "
     "checks remain notRun."},
    {"office_save_as",
     nullptr,
     {"path"},
     "Write the open document to a path of your choosing. This becomes the document's path, "
     "so later office_save calls go there too. Inspect handlesInvalidated in the result: when "
     "true, discard cached handles and baseRevision, use the returned sessionEpoch/revision, "
     "and reread context and relevant collections. idRemap is partial."},
    {"office_export",
     nullptr,
     {"path", "format"},
     "Export a copy in another format without changing what is open or where it saves. DOCX "
     "exports docx, pdf, html and text; PPTX exports pptx and pdf; XLSX exports xlsx, csv and "
     "tsv. Large exports may take up to 5 minutes; success acknowledges the completed file "
     "write. A timeout leaves the result uncertain: inspect the destination file before "
     "retrying."},
    {"office_close",
     nullptr,
     {},
     "Close a tab. A tab with unsaved changes is refused unless force is true, so save it or "
     "ask the user before forcing. office_status reports each tab's dirty flag."},
    {"office_select_tab",
     nullptr,
     {"target"},
     "Bring a tab to the front, so the user sees the document you are about to work on. Does "
     "not change what other tools act on — they take their own target."},
    {"office_submit_feedback",
     "000",
     {"title", "description"},
     "Report a problem with this app, or an idea for improving it, to the people who maintain "
     "it. Use it when the app misbehaves, refuses something it should support, or has no "
     "command for what the user asked — after you have finished or given up on the task, not "
     "instead of doing it. Write what you were trying to do and what happened; the report "
     "carries no document, no logs and nothing else from the session, so include whatever the "
     "maintainers would need in the description itself. Do not include the user's document "
     "text, personal data or credentials, and tell the user what you filed. A build that "
     "collects feedback elsewhere answers NotSupported."},
    {"office_save",
     nullptr,
     {},
     "Write a tab's document back to its own path. Saving is a separate step: executing "
     "actions changes the in-memory document only, and the user can still undo before this. "
     "If handlesInvalidated is true, discard cached handles/baseRevision and reread context "
     "and relevant collections using the returned sessionEpoch/revision. idRemap is partial."},
};

// Calls `visit` on `value` and every value inside it.
void walk(const json::Value& value, const std::function<void(const json::Value&)>& visit) {
  visit(value);
  if (value.is_structured()) {
    for (const json::Value& inner : value) walk(inner, visit);
  }
}

TEST(McpToolCatalogue, ListsEveryToolInOrderWithItsDescriptionHintsAndRequired) {
  std::vector<json::Value> tools = tool_catalogue();
  ASSERT_EQ(tools.size(), std::size(kExpected));
  for (std::size_t i = 0; i < tools.size(); ++i) {
    const ExpectedTool& want = kExpected[i];
    const json::Value& tool = tools[i];
    SCOPED_TRACE(want.name);
    EXPECT_EQ(tool["name"], want.name);
    EXPECT_EQ(tool["description"].get<std::string>(), want.description);
    if (want.hints == nullptr) {
      EXPECT_FALSE(tool.contains("annotations"));
      EXPECT_EQ(tool.size(), 3u);
    } else {
      json::Value hints = json::Value::object({{"readOnlyHint", want.hints[0] == '1'},
                                               {"destructiveHint", want.hints[1] == '1'},
                                               {"idempotentHint", want.hints[2] == '1'}});
      EXPECT_EQ(tool["annotations"], hints);
      EXPECT_EQ(tool.size(), 4u);
    }
    const json::Value& schema = tool["inputSchema"];
    EXPECT_EQ(schema["type"], "object");
    EXPECT_EQ(schema["additionalProperties"], false);
    if (want.required.empty()) {
      EXPECT_FALSE(schema.contains("required"));
    } else {
      EXPECT_EQ(schema["required"], json::Value(want.required));
    }
  }
}

TEST(McpToolCatalogue, HoldsOnlyIntegersAndNoEmptyRequired) {
  for (const json::Value& tool : tool_catalogue()) {
    walk(tool, [&](const json::Value& value) {
      if (value.is_number()) {
        EXPECT_TRUE(value.is_number_integer()) << tool["name"];
      }
      if (value.is_object() && value.contains("required")) {
        EXPECT_FALSE(value["required"].empty()) << tool["name"];
      }
    });
  }
}

}  // namespace
}  // namespace tov::mcp
