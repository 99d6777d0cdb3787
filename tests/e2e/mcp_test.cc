// `quillboard mcp` as an agent runs it: lines on stdin, replies on stdout, diagnostics on
// stderr, against a scripted app or the stand-in that the program starts itself.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/expected_output.h"
#include "support/scripted_app.h"
#include "support/test_support.h"

namespace tov::testing {
namespace {

using namespace std::chrono_literals;

const std::string kInstructions =
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

std::string initialize_reply(const std::string& id, const std::string& version) {
  return R"({"id":)" + id +
         R"(,"jsonrpc":"2.0","result":{"capabilities":{"tools":{}},"instructions":")" +
         kInstructions + R"(","protocolVersion":")" + version +
         R"(","serverInfo":{"name":"Quillboard","version":"0.1.75"}}})" + "\n";
}

std::string initialize_line(const std::string& id, const std::string& client_info) {
  return R"({"jsonrpc":"2.0","id":)" + id +
         R"(,"method":"initialize","params":{"protocolVersion":"2025-06-18","clientInfo":)" +
         client_info + "}}\n";
}

std::string call_line(int id, const std::string& name, const std::string& arguments = "") {
  std::string params = R"({"name":")" + name + "\"";
  if (!arguments.empty()) params += R"(,"arguments":)" + arguments;
  return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
         R"(,"method":"tools/call","params":)" + params + "}}\n";
}

std::string tool_reply(int id, const std::string& result) {
  return R"({"id":)" + std::to_string(id) + R"(,"jsonrpc":"2.0","result":)" + result + "}\n";
}

std::string tool_error(int id, const std::string& text) {
  return tool_reply(id, R"({"content":[{"text":)" + json_quoted(text) + R"(,"type":"text"}],"isError":true})");
}

std::string request(const std::string& op, const std::string& params, const std::string& client) {
  return R"({"token":"test-token","op":")" + op + R"(","params":)" + params + R"(,"client":)" +
         client + "}";
}

const std::string kOkTabs = "{\"ok\":true,\"data\":{\"tabs\":[]}}\n";
const std::string kTabsResult =
    R"({"content":[{"text":"{\n  \"tabs\": []\n}","type":"text"}],"isError":false,)"
    R"("structuredContent":{"tabs":[]}})";

TEST(Mcp, ServesASessionAndAnnouncesTheClientOnce) {
  AppData app;
  ScriptedApp scripted({{kOkTabs}});
  app.publish(scripted.socket_text());
  const std::string input =
      initialize_line("1", R"({"name":" Claude Code ","version":"2.1"})") +
      R"({"jsonrpc":"2.0","method":"notifications/initialized"})" "\n" +
      R"({"jsonrpc":"2.0","id":"p","method":"ping"})" "\n" +
      call_line(2, "office_status", R"({"target":"t1"})") +
      initialize_line("3", R"({"name":"Cursor","title":"Cursor IDE"})") +
      call_line(4, "office_undo", R"({"target":"t1"})");
  auto result = run_quillboard(app, {"mcp"}, {}, input);

  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, initialize_reply("1", "2025-06-18") +
                            R"({"id":"p","jsonrpc":"2.0","result":{}})" "\n" +
                            tool_reply(2, kTabsResult) + initialize_reply("3", "2025-06-18") +
                            tool_reply(4, kTabsResult));
  const std::string claude = R"({"id":"claude-code","version":"2.1","label":"Claude Code"})";
  const std::string cursor = R"({"id":"cursor","label":"Cursor IDE"})";
  EXPECT_EQ(scripted.requests(),
            (std::vector<std::string>{request("hello", "{}", claude),
                                      request("status", "{}", claude),
                                      request("undo", R"({"target":"t1"})", cursor)}));
}

TEST(Mcp, RetriesTheAnnouncementUntilTheAppTakesIt) {
  AppData app;
  const Reply refused{"{\"ok\":false,\"error\":{\"code\":\"No\",\"message\":\"later\"}}\n"};
  ScriptedApp scripted({refused, {kOkTabs}, {"{\"ok\":true}\n"}, {kOkTabs}});
  app.publish(scripted.socket_text());
  auto result = run_quillboard(
      app, {"mcp"}, {"CODEX_HOME=/nowhere"},
      call_line(1, "office_save") + call_line(2, "office_save") + call_line(3, "office_save"));

  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "");
  const std::string codex = R"({"id":"codex"})";
  EXPECT_EQ(scripted.requests(),
            (std::vector<std::string>{request("hello", "{}", codex), request("save", "{}", codex),
                                      request("hello", "{}", codex), request("save", "{}", codex),
                                      request("save", "{}", codex)}));
}

TEST(Mcp, RefusedCallsReachNothing) {
  AppData app;
  ScriptedApp scripted({{kOkTabs}});
  app.publish(scripted.socket_text());
  const std::string input = call_line(1, "office_Status") + call_line(2, "office_new") +
                            R"({"jsonrpc":"2.0","id":3,"method":"tools/call"})" "\n" +
                            call_line(4, "office_clone", R"({"path":"/p","baseRevision":1})") +
                            call_line(5, "office_close", R"({"target":7,"force":true})");
  auto result = run_quillboard(app, {"mcp"}, {}, input);

  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            tool_error(1, "Unknown tool: office_Status") +
                tool_error(2, "office_new needs a \"format\".") +
                R"({"error":{"code":-32602,"message":"tools/call needs a tool name"},"id":3,)"
                R"("jsonrpc":"2.0"})" "\n" +
                tool_error(4, "office_clone needs path, baseRevision and operationId.") +
                tool_error(5, "office_close target must be a string (a tab id from office_status)."));
  EXPECT_EQ(scripted.connections(), 0);
}

TEST(Mcp, WithoutAnAppInitializeStartsNothingAndSaysNothing) {
  AppData app;
  auto result = run_quillboard(app, {"mcp"}, {}, initialize_line("1", R"({"name":"x"})"));
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, initialize_reply("1", "2025-06-18"));
  EXPECT_TRUE(app.stand_in_starts().empty());
}

TEST(Mcp, ReportsAnAnnouncementThatFailsAndGoesOn) {
  AppData app;
  app.write_control_file(R"({"version":2,"socket":"127.0.0.1:9","token":"t","pid":1})");
  const std::string version = "the app speaks control protocol 2 but this build speaks 3";
  auto result = run_quillboard(
      app, {"mcp"}, {},
      initialize_line("1", R"({"name":"x"})") + call_line(2, "office_status") +
          R"({"jsonrpc":"2.0","id":3,"method":"ping"})" "\n");

  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "mcp: could not announce this client to the app (" + version + ")\n" +
                            "mcp: could not announce this client to the app (" + version + ")\n");
  EXPECT_EQ(result.out, initialize_reply("1", "2025-06-18") + tool_error(2, version) +
                            R"({"id":3,"jsonrpc":"2.0","result":{}})" "\n");
  EXPECT_TRUE(app.stand_in_starts().empty());
}

TEST(Mcp, ASilentAppIsAToolFailureWithTheTimeoutAnswer) {
  AppData app;
  // The first connection is the announcement.
  ScriptedApp scripted({{"{\"ok\":true}\n"}, {"", 17s}});
  app.publish(scripted.socket_text());
  auto result = run_quillboard(app, {"mcp"}, {}, call_line(1, "office_save"));
  const std::string message(kTimeoutMessage);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            tool_reply(1, R"({"content":[{"text":"{\n  \"error\": {\n    \"code\": \"Timeout\",\n    )"
                          R"(\"message\": \")" + message +
                              R"(\"\n  },\n  \"ok\": false\n}","type":"text"}],"isError":true,)"
                              R"("structuredContent":{"error":{"code":"Timeout","message":")" + message +
                              R"("},"ok":false}})"));
}

TEST(Mcp, StartsTheAppForAToolCallAndAnnouncesAtTheNextOne) {
  AppData app;
  const std::string record = platform::join(app.dir(), "requests.txt");
  auto result = run_quillboard(app, {"mcp"}, {"QB_STANDIN_RECORD=" + record},
                               call_line(1, "office_new", R"({"format":"md"})") +
                                   call_line(2, "office_select_tab", R"({"target":"zz"})"));
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(app.stand_in_starts().size(), 1u);
  auto out = lines_of(result.out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_TRUE(out[0].find(R"("isError":false)") != std::string::npos) << out[0];

  auto requests = lines_of(platform::read_file(record).value_or(""));
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_NE(requests[0].find(R"("op":"new","params":{"format":"md"},"client":{"id":"cli"}})"),
            std::string::npos);
  EXPECT_NE(requests[1].find(R"("op":"hello","params":{},"client":{"id":"cli"}})"),
            std::string::npos);
  EXPECT_NE(requests[2].find(R"("op":"selectTab","params":{"target":"zz"})"), std::string::npos);
}

}  // namespace
}  // namespace tov::testing
