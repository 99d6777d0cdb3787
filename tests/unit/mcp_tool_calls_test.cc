#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "json/json.h"
#include "mcp_server/tool_calls.h"

namespace tov::mcp {
namespace {

std::string compact(const json::Value& value) { return json::to_compact(value).value(); }

json::Value parse(const std::string& text) { return json::parse(text).value(); }

// Either "op params" for a call that goes to the app, or the compact reply that refuses it.
std::string prepared(const std::optional<std::string>& params_text) {
  std::optional<json::Value> params;
  if (params_text) params = parse(*params_text);
  auto call = prepare_tool_call(json::Value(7), params ? &*params : nullptr);
  if (!call) return compact(call.error());
  return std::string(call->op) + " " + compact(call->params);
}

std::string refusal(const std::string& text) {
  return R"({"id":7,"jsonrpc":"2.0","result":{"content":[{"text":")" + text +
         R"(","type":"text"}],"isError":true}})";
}

const std::string kNoName =
    R"({"error":{"code":-32602,"message":"tools/call needs a tool name"},"id":7,"jsonrpc":"2.0"})";

TEST(McpToolCalls, RefusesCallsItCannotMakeWithTheirExactTexts) {
  struct Case {
    std::optional<std::string> params;
    std::string reply;
  };
  const Case cases[] = {
      {std::nullopt, kNoName},
      {"null", kNoName},
      {R"([{"name":"office_save"}])", kNoName},
      {R"({"name":5})", kNoName},
      {R"({"arguments":{}})", kNoName},
      {R"({"name":"Office_save"})", refusal("Unknown tool: Office_save")},
      {R"({"name":"office_save "})", refusal("Unknown tool: office_save ")},
      {R"({"name":"status"})", refusal("Unknown tool: status")},
      {R"({"name":""})", refusal("Unknown tool: ")},
      {R"({"name":"office_execute","arguments":{"command":[]}})", refusal(R"(office_execute needs \"commands\".)")},
      {R"({"name":"office_execute","arguments":[]})", refusal(R"(office_execute needs \"commands\".)")},
      {R"({"name":"office_register_media"})", refusal(R"(office_register_media needs a \"source\".)")},
      {R"({"name":"office_operation","arguments":{"operationId":5}})",
       refusal(R"(office_operation needs an \"operationId\".)")},
      {R"({"name":"office_new","arguments":null})", refusal(R"(office_new needs a \"format\".)")},
      {R"({"name":"office_save_as","arguments":{"path":null}})", refusal(R"(office_save_as needs a \"path\".)")},
      {R"({"name":"office_export","arguments":{"path":"/a"}})",
       refusal(R"(office_export needs \"path\" and \"format\".)")},
      {R"({"name":"office_export","arguments":{"format":"pdf","path":1}})",
       refusal(R"(office_export needs \"path\" and \"format\".)")},
      {R"({"name":"office_select_tab","arguments":{"target":7}})", refusal(R"(office_select_tab needs a \"target\".)")},
      {R"({"name":"office_submit_feedback","arguments":{"title":"t"}})",
       refusal(R"(office_submit_feedback needs a \"title\" and a \"description\".)")},
      {R"({"name":"office_submit_feedback","arguments":{"title":1,"description":"d"}})",
       refusal(R"(office_submit_feedback needs a \"title\" and a \"description\".)")},
      {R"({"name":"office_open","arguments":{"path":7}})", refusal("office_open needs a path.")},
      {R"({"name":"office_open","arguments":{"path":"/a","access":null}})",
       refusal("office_open access must be read or readWrite.")},
      {R"({"name":"office_open","arguments":{"path":"/a","access":"Read"}})",
       refusal("office_open access must be read or readWrite.")},
      // A target that is no text would leave the app to act on the active tab.
      {R"({"name":"office_close","arguments":{"target":7,"force":true}})",
       refusal("office_close target must be a string (a tab id from office_status).")},
      {R"({"name":"office_save_as","arguments":{"target":["tab-2"],"path":"/x.docx"}})",
       refusal("office_save_as target must be a string (a tab id from office_status).")},
      {R"({"name":"office_save","arguments":{"target":false}})",
       refusal("office_save target must be a string (a tab id from office_status).")},
      {R"({"name":"office_manifest","arguments":{"target":{"id":"t"}}})",
       refusal("office_manifest target must be a string (a tab id from office_status).")},
      {R"({"name":"office_execute","arguments":{"commands":[],"target":5}})",
       refusal("office_execute target must be a string (a tab id from office_status).")},
      {R"({"name":"office_export","arguments":{"target":1,"path":"/a"}})",
       refusal(R"(office_export needs \"path\" and \"format\".)")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.params.value_or("no params"));
    EXPECT_EQ(prepared(c.params), c.reply);
  }
}

TEST(McpToolCalls, RefusesCloneWithoutItsThreeKeysFirstThenWithoutTarget) {
  const std::string first = refusal("office_clone needs path, baseRevision and operationId.");
  const std::string no_target = refusal("office_clone needs target.");
  struct Case {
    std::string arguments;
    std::string reply;
  };
  const Case cases[] = {
      {R"({"target":"t","path":"/p","baseRevision":5.0,"operationId":"o"})", first},
      {R"({"target":"t","path":"/p","baseRevision":-1,"operationId":"o"})", first},
      {R"({"target":"t","path":"/p","baseRevision":1e3,"operationId":"o"})", first},
      {R"({"target":"t","path":"/p","baseRevision":"12","operationId":"o"})", first},
      {R"({"target":"t","path":"/p","baseRevision":18446744073709551616,"operationId":"o"})", first},
      {R"({"target":"t","path":"/p","baseRevision":1,"operationId":null})", first},
      {R"({"target":"t","baseRevision":1,"operationId":"o"})", first},
      {R"({"path":"/p","baseRevision":1})", first},
      {R"({"path":"/p","baseRevision":1,"operationId":"o"})", no_target},
      {R"({"target":3,"path":"/p","baseRevision":1,"operationId":"o"})", no_target},
      {R"({"target":"t","path":"/p","baseRevision":0,"operationId":"o"})",
       R"(document.clone {"baseRevision":0,"operationId":"o","path":"/p","target":"t"})"},
      {R"({"target":"","path":"","baseRevision":18446744073709551615,"operationId":"","x":1})",
       R"(document.clone {"baseRevision":18446744073709551615,"operationId":"","path":"",)"
       R"("target":""})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    EXPECT_EQ(prepared(R"({"name":"office_clone","arguments":)" + c.arguments + "}"), c.reply);
  }
}

TEST(McpToolCalls, MapsEachToolToItsOperationAndParameters) {
  struct Case {
    std::string call;
    std::string sent;
  };
  const Case cases[] = {
      {R"({"name":"office_new_from_template","arguments":{"format":"docx","templateId":"a"}})",
       R"(templates.create {"format":"docx","templateId":"a"})"},
      {R"({"name":"office_templates"})", "templates.list {}"},
      {R"({"name":"office_templates","arguments":null})", "templates.list null"},
      {R"({"name":"office_templates","arguments":{"limit":500,"target":1}})",
       R"(templates.list {"limit":500,"target":1})"},
      {R"({"name":"office_status","arguments":{"target":"t1","x":2}})", "status {}"},
      {R"({"name":"office_manifest","arguments":"odd"})", R"(manifest "odd")"},
      {R"({"name":"office_open","arguments":{"path":"","target":"t"}})", R"(open {"path":""})"},
      {R"({"name":"office_open","arguments":{"path":"/a","access":"read"}})", R"(open {"access":"read","path":"/a"})"},
      {R"({"name":"office_open","arguments":{"path":"/a","access":"readWrite"}})",
       R"(open {"access":"readWrite","path":"/a"})"},
      {R"({"name":"office_execute","arguments":{"commands":null,"target":"t","zz":1}})",
       R"(execute {"commands":null,"target":"t","zz":1})"},
      {R"({"name":"office_manifest","arguments":{"target":null}})", R"(manifest {"target":null})"},
      {R"({"name":"office_register_media","arguments":{"source":"/img.png","target":"t"}})",
       R"(mediaRegister {"source":"/img.png","target":"t"})"},
      {R"({"name":"office_register_media","arguments":{"source":null}})", R"(mediaRegister {"source":null})"},
      {R"({"name":"office_operation","arguments":{"operationId":"op","target":"t"}})",
       R"(operation {"operationId":"op","target":"t"})"},
      {R"({"name":"office_undo","arguments":{"target":"t"}})", R"(undo {"target":"t"})"},
      {R"({"name":"office_new","arguments":{"format":"","target":"t"}})", R"(new {"format":""})"},
      {R"({"name":"office_save_as","arguments":{"path":"/x.docx","target":"t"}})",
       R"(saveAs {"path":"/x.docx","target":"t"})"},
      {R"({"name":"office_export","arguments":{"path":"/x.pdf","format":"pdf","target":"t"}})",
       R"(export {"format":"pdf","path":"/x.pdf","target":"t"})"},
      {R"({"name":"office_close"})", R"(close {"force":false})"},
      {R"({"name":"office_close","arguments":{"force":"true"}})", R"(close {"force":false})"},
      {R"({"name":"office_close","arguments":{"force":1,"target":"t"}})", R"(close {"force":false,"target":"t"})"},
      {R"({"name":"office_close","arguments":{"force":true}})", R"(close {"force":true})"},
      {R"({"name":"office_select_tab","arguments":{"target":"","x":1}})", R"(selectTab {"target":""})"},
      {R"({"name":"office_submit_feedback","arguments":{"title":"t","description":"d",)"
       R"("type":5,"contact":"me","target":"t"}})",
       R"(feedback {"contact":"me","description":"d","title":"t"})"},
      {R"({"name":"office_submit_feedback","arguments":{"title":"t","description":"d",)"
       R"("type":"praise"}})",
       R"(feedback {"description":"d","title":"t","type":"praise"})"},
      {R"({"name":"office_save"})", "save {}"},
      {R"({"name":"office_save","arguments":null})", "save {}"},
      {R"({"name":"office_save","arguments":{"target":null}})", "save {}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    EXPECT_EQ(prepared(c.call), c.sent);
  }
}

}  // namespace
}  // namespace tov::mcp
