#include "cli_protocol/records.h"

#include <gtest/gtest.h>

#include <string>

namespace tov::protocol {
namespace {

TEST(RequestText, KeysInRecordOrderAndStringsEscaped) {
  const std::tuple<const char*, Request, std::string> cases[] = {
      {"agent with version",
       {"tok", "status", json::Value::object(), ClientIdentity{"codex", "2", std::nullopt}},
       R"({"token":"tok","op":"status","params":{},"client":{"id":"codex","version":"2"}})"},
      {"no client", {"t", "undo", json::Value::object(), std::nullopt}, R"({"token":"t","op":"undo","params":{}})"},
      {"client id alone",
       {"t", "op", json::Value::object(), ClientIdentity{"cli", std::nullopt, std::nullopt}},
       R"({"token":"t","op":"op","params":{},"client":{"id":"cli"}})"},
      {"empty version kept, label last",
       {"t", "op", json::Value::object(), ClientIdentity{"x", "", "L"}},
       R"({"token":"t","op":"op","params":{},"client":{"id":"x","version":"","label":"L"}})"},
      {"null params", {"t", "op", json::Value(nullptr), std::nullopt}, R"({"token":"t","op":"op","params":null})"},
      {"params keys sorted",
       {"t", "open", json::Value{{"b", 1}, {"a", json::Value::array({true, "s"})}}, std::nullopt},
       R"({"token":"t","op":"open","params":{"a":[true,"s"],"b":1}})"},
      {"escapes",
       {"q\"b\\s/", "tab\tnl\ncr\r\x01\x1f\x7f", json::Value::object(),
        ClientIdentity{"caf\xC3\xA9", "\b\f", std::nullopt}},
       "{\"token\":\"q\\\"b\\\\s/\",\"op\":\"tab\\tnl\\ncr\\r\\u0001\\u001f\x7f\",\"params\":{},"
       "\"client\":{\"id\":\"caf\xC3\xA9\",\"version\":\"\\b\\f\"}}"},
  };
  for (const auto& [what, request, text] : cases) EXPECT_EQ(request_text(request), text) << what;
}

TEST(RequestText, TextThatIsNotUtf8CannotBeWritten) {
  const Request requests[] = {
      {"t", "op", json::Value::object(), ClientIdentity{"x", std::nullopt, "\xC0\x80"}},
      {"t", "op", json::Value{{"k", "\xED\xA0\x80"}}, std::nullopt},
  };
  for (const auto& request : requests) {
    auto text = request_text(request);
    ASSERT_FALSE(text.has_value());
    EXPECT_FALSE(text.error().message.empty());
  }
}

TEST(ResponseValue, AbsentMembersLeaveNoKey) {
  const std::pair<Response, std::string> cases[] = {
      {Response{true, std::nullopt, std::nullopt}, R"({"ok":true})"},
      {Response{true, json::Value{{"tabs", json::Value::array()}}, std::nullopt}, R"({"data":{"tabs":[]},"ok":true})"},
      {Response{false, json::Value(7), ResponseError{"ActionFailed", "no", json::Value{{"at", 2}}}},
       R"({"data":7,"error":{"code":"ActionFailed","details":{"at":2},"message":"no"},"ok":false})"},
      {Response::failure("Timeout", "late"), R"({"error":{"code":"Timeout","message":"late"},"ok":false})"},
  };
  for (const auto& [response, text] : cases) EXPECT_EQ(json::to_compact(response_to_value(response)), text);
}

}  // namespace
}  // namespace tov::protocol
