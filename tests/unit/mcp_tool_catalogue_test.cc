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

}  // namespace
}  // namespace tov::mcp
