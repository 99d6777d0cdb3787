#include "cli_protocol/call_app.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "cli_protocol/loopback.h"
#include "json/json.h"
#include "support/expected_output.h"
#include "support/scripted_app.h"

namespace tov::protocol {
namespace {

using namespace std::chrono_literals;
using tov::testing::failure_of;
using tov::testing::Reply;
using tov::testing::ScriptedApp;

TEST(CallApp, ReceiveDeadlineIsLongOnlyForExport) {
  const std::pair<std::string, std::chrono::seconds> cases[] = {
      {"export", 301s}, {"Export", 16s}, {"export ", 16s}, {"status", 16s}, {"", 16s},
  };
  for (const auto& [op, deadline] : cases) EXPECT_EQ(receive_deadline(op), deadline) << op;
}

platform::Socket connect_to(const ScriptedApp& app) {
  auto socket = connect_loopback(app.socket_text());
  EXPECT_TRUE(socket.has_value());
  return socket ? std::move(*socket) : platform::Socket{};
}

const Handshake kHandshake{3, "", "secret", 1};

TEST(CallApp, AnswersAndFailures) {
  struct Case {
    const char* what;
    Reply reply;
    std::string outcome;  // compact text of the answer, or the failure text
  };
  const Case cases[] = {
      {"ok", {"{\"ok\":true,\"data\":{\"n\":1}}\n"}, R"({"data":{"n":1},"ok":true})"},
      {"ok false is an answer",
       {"{\"ok\":false,\"error\":{\"code\":\"E\",\"message\":\"m\"}}\n"},
       R"({"error":{"code":"E","message":"m"},"ok":false})"},
      {"closed without an answer",
       {.bytes = "", .close_without_answer = true},
       "could not read the answer: connection closed before a frame arrived"},
      {"not UTF-8",
       {"{\"ok\":true,\"data\":\"\xFE\"}\n"},
       "could not read the answer: stream did not contain valid UTF-8"},
  };
  for (const auto& c : cases) {
    ScriptedApp app({c.reply});
    auto response = call_app(kHandshake, connect_to(app), "status", json::Value::object(), std::nullopt);
    EXPECT_EQ(response ? json::to_compact(response_to_value(*response)).value_or("?") : response.error(), c.outcome)
        << c.what;
  }
}

TEST(CallApp, SendsTheRequestLine) {
  ScriptedApp app({{"{\"ok\":true}\n"}});
  ASSERT_TRUE(call_app(kHandshake, connect_to(app), "saveAs", json::Value{{"path", "a.docx"}},
                       ClientIdentity{"codex", "2", std::nullopt}));
  ASSERT_TRUE(call_app(kHandshake, connect_to(app), "status", json::Value::object(), std::nullopt));
  EXPECT_EQ(app.requests(),
            (std::vector<std::string>{
                R"({"token":"secret","op":"saveAs","params":{"path":"a.docx"},"client":{"id":"codex","version":"2"}})",
                R"({"token":"secret","op":"status","params":{}})"}));
}

TEST(CallApp, PassedDeadlineIsTheTimeoutAnswer) {
  ScriptedApp app({{.bytes = "{\"ok\":true}\n", .delay = 3s}});
  auto response = call_app_within(200ms, kHandshake, connect_to(app), "status", json::Value::object(), std::nullopt);
  ASSERT_TRUE(response.has_value()) << response.error();
  EXPECT_EQ(json::to_compact(response_to_value(*response)),
            R"({"error":{"code":"Timeout","message":")" + std::string(tov::testing::kTimeoutMessage) +
                R"("},"ok":false})");
}

TEST(CallApp, SocketThatCannotBeConfigured) {
  auto response = call_app(kHandshake, platform::Socket{}, "status", json::Value::object(), std::nullopt);
  EXPECT_TRUE(failure_of(response).starts_with("could not configure response timeout: ")) << failure_of(response);
}

}  // namespace
}  // namespace tov::protocol
