#include <gtest/gtest.h>

#include <string>

#include "cli_protocol/records.h"
#include "json/json.h"
#include "mcp_server/mcp_server.h"
#include "mcp_server/tool_result.h"

namespace tov::mcp {
namespace {

std::string compact(const json::Value& value) { return json::to_compact(value).value(); }

TEST(McpReplies, BuildsTheThreeReplyShapes) {
  EXPECT_EQ(compact(rpc_result(json::Value("a"), json::Value::object())),
            R"({"id":"a","jsonrpc":"2.0","result":{}})");
  EXPECT_EQ(compact(rpc_error(json::Value(nullptr), -32601, "Method not found: x")),
            R"({"error":{"code":-32601,"message":"Method not found: x"},)"
            R"("id":null,"jsonrpc":"2.0"})");
  EXPECT_EQ(compact(tool_error_result(json::Value(3), "no home directory")),
            R"({"id":3,"jsonrpc":"2.0","result":{"content":[{"text":"no home directory",)"
            R"("type":"text"}],"isError":true}})");
}

TEST(McpReplies, WrapsAnswersAsToolResults) {
  using protocol::Response;
  using protocol::ResponseError;
  struct Case {
    const char* name;
    Response answer;
    std::string result;
  };
  const Case cases[] = {
      {"object data", Response{true, json::parse(R"({"b":[],"a":{}})").value(), std::nullopt},
       R"({"content":[{"text":"{\n  \"a\": {},\n  \"b\": []\n}","type":"text"}],)"
       R"("isError":false,"structuredContent":{"a":{},"b":[]}})"},
      // Structured content is an object in MCP; other data travels in the text alone.
      {"no data", Response{true, std::nullopt, std::nullopt},
       R"({"content":[{"text":"null","type":"text"}],"isError":false})"},
      {"array data", Response{true, json::parse("[1,\"x\"]").value(), std::nullopt},
       R"({"content":[{"text":"[\n  1,\n  \"x\"\n]","type":"text"}],"isError":false})"},
      {"text data with an error beside it",
       Response{true, json::Value("done"), ResponseError{"X", "ignored", std::nullopt}},
       R"({"content":[{"text":"\"done\"","type":"text"}],"isError":false})"},
      {"failure without error", Response{false, std::nullopt, std::nullopt},
       R"({"content":[{"text":"{\n  \"error\": null,\n  \"ok\": false\n}","type":"text"}],)"
       R"("isError":true,"structuredContent":{"error":null,"ok":false}})"},
      {"failure with data and details",
       Response{false, json::Value::object({{"left", "out"}}),
                ResponseError{"Busy", "later", json::Value::array({1})}},
       R"({"content":[{"text":"{\n  \"error\": {\n    \"code\": \"Busy\",\n    \"details\": [\n)"
       R"(      1\n    ],\n    \"message\": \"later\"\n  },\n  \"ok\": false\n}","type":"text"}],)"
       R"("isError":true,"structuredContent":{"error":{"code":"Busy","details":[1],)"
       R"("message":"later"},"ok":false}})"},
      {"timeout", Response::failure("Timeout", "late"),
       R"({"content":[{"text":"{\n  \"error\": {\n    \"code\": \"Timeout\",\n    \"message\": )"
       R"(\"late\"\n  },\n  \"ok\": false\n}","type":"text"}],"isError":true,)"
       R"("structuredContent":{"error":{"code":"Timeout","message":"late"},"ok":false}})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(compact(tool_result(c.answer)), c.result);
  }
}

}  // namespace
}  // namespace tov::mcp
