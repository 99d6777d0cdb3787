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
  std::size_t description_bytes;
  const char* hints;  // "readOnly/destructive/idempotent" as 0 and 1, or nullptr for none
  std::vector<std::string> required;
};

const ExpectedTool kExpected[] = {
    {"office_new_from_template", 567, "000", {"format", "templateId"}},
    {"office_templates", 521, "101", {}},
    {"office_status", 220, "101", {}},
    {"office_manifest", 255, "101", {}},
    {"office_open", 671, nullptr, {"path"}},
    {"office_execute", 233, "001", {"commands"}},
    {"office_register_media", 205, "000", {"source"}},
    {"office_operation", 89, "101", {"operationId"}},
    {"office_undo", 71, "010", {}},
    {"office_redo", 71, "000", {}},
    {"office_new", 151, nullptr, {"format"}},
    {"office_clone", 277, nullptr, {"target", "path", "baseRevision", "operationId"}},
    {"office_save_as", 325, nullptr, {"path"}},
    {"office_export", 350, nullptr, {"path", "format"}},
    {"office_close", 160, nullptr, {}},
    {"office_select_tab", 153, nullptr, {"target"}},
    {"office_submit_feedback", 649, "000", {"title", "description"}},
    {"office_save", 340, nullptr, {}},
};

std::string compact(const json::Value& value) { return json::to_compact(value).value(); }

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
    EXPECT_EQ(tool["description"].get<std::string>().size(), want.description_bytes);
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

// Whole definitions, as the client sees them, for tools that exercise the shapes of schema:
// no properties, shared fragments, nested objects, anyOf, integers and defaults.
TEST(McpToolCatalogue, PrintsDefinitionsExactly) {
  struct Case {
    std::size_t index;
    const char* text;
  };
  const Case cases[] = {
      {1,
       R"({"annotations":{"destructiveHint":false,"idempotentHint":true,"readOnlyHint":true},)"
       R"("description":"Read the template library offered by New Document in this app, without )"
       R"(opening a document. Returns available, supported formats, locale, total, from, )"
       R"(returned, nextFrom when another page exists, and items with id, format, name, )"
       R"(description, category, previewUrl, fileUrl and optional slides, bytes and sha256. )"
       R"(Omit format for all configured formats. Unconfigured formats return available=false )"
       R"(and an empty list. Use office_new_from_template with a selected item to create a )"
       R"(document; office_new creates a blank document.",)"
       R"("inputSchema":{"additionalProperties":false,"properties":{)"
       R"("format":{"description":"Optional file extension, such as pptx.","minLength":1,)"
       R"("type":"string"},"from":{"default":0,"minimum":0,"type":"integer"},)"
       R"("limit":{"default":50,"maximum":100,"minimum":1,"type":"integer"},)"
       R"("locale":{"description":"Defaults to the app language; catalog translations fall )"
       R"(back to English.","minLength":1,"type":"string"}},"type":"object"},)"
       R"("name":"office_templates"})"},
      {2,
       R"({"annotations":{"destructiveHint":false,"idempotentHint":true,"readOnlyHint":true},)"
       R"("description":"The registered artifact formats and every open tab with its id, )"
       R"(format, capabilities, surface state, session epoch and revision. Call this first; )"
       R"(other tools take an optional tab id, and omitting it means the active tab.",)"
       R"("inputSchema":{"additionalProperties":false,"properties":{},"type":"object"},)"
       R"("name":"office_status"})"},
      {5,
       R"({"annotations":{"destructiveHint":false,"idempotentHint":true,"readOnlyHint":false},)"
       R"("description":"Run one single-effect command batch against one ready artifact. Do )"
       R"(not mix reads and writes. Writes require the latest options.baseRevision. Set )"
       R"(options.operationId for idempotent retries and reuse it only for the exact same )"
       R"(request.","inputSchema":{"additionalProperties":false,"properties":{)"
       R"("commands":{"anyOf":[{"type":"object"},{"items":{"type":"object"},"type":"array"}],)"
       R"("description":"One command object or an array of them, matching the manifest."},)"
       R"("options":{"additionalProperties":false,"description":"Shared harness options. )"
       R"(baseRevision is required for writes; operationId makes exact retries idempotent.",)"
       R"("properties":{"baseRevision":{"anyOf":[{"type":"number"},{"type":"string"}]},)"
       R"("diagnostics":{"type":"boolean"},"operationId":{"maxLength":128,"minLength":1,)"
       R"("type":"string"},"summary":{"type":"string"}},"type":"object"},)"
       R"("target":{"description":"Tab id from office_status. Omit for the active tab.",)"
       R"("type":"string"}},"required":["commands"],"type":"object"},"name":"office_execute"})"},
      {6,
       R"({"annotations":{"destructiveHint":false,"idempotentHint":false,"readOnlyHint":false},)"
       R"("description":"Register an image from an absolute local file in the active DOCX )"
       R"(session and return an assetId for picture.insert, picture.replace, or drawing image )"
       R"(elements. Binary content never travels through MCP JSON.","inputSchema":{)"
       R"("additionalProperties":false,"properties":{"source":{"additionalProperties":false,)"
       R"("description":"A Host-readable absolute local image path.","properties":{"path":{)"
       R"("minLength":1,"type":"string"}},"required":["path"],"type":"object"},)"
       R"("target":{"description":"DOCX tab id from office_status. Omit for the active tab.",)"
       R"("type":"string"}},"required":["source"],"type":"object"},)"
       R"("name":"office_register_media"})"},
  };
  std::vector<json::Value> tools = tool_catalogue();
  for (const Case& c : cases) EXPECT_EQ(compact(tools.at(c.index)), c.text);
}

}  // namespace
}  // namespace tov::mcp
