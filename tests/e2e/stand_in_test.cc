// The stand-in app as a user meets it through the program: its tab model, its echo of the
// operations it does not model, its token check, its test knobs, and hostile peers.
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "cli_protocol/control_call.h"
#include "cli_protocol/frames.h"
#include "cli_protocol/records.h"
#include "json/json.h"
#include "platform/platform.h"
#include "support/expected_output.h"
#include "support/scripted_app.h"
#include "support/test_support.h"

namespace tov::testing {
namespace {

using json::Value;

std::string line(const Value& value) { return json::to_compact(value).value_or("?") + "\n"; }

Value tab(std::string_view id, const Value& path, std::string_view format, bool dirty) {
  return {{"id", id}, {"path", path}, {"format", format}, {"dirty", dirty}, {"revision", 0}};
}

Value status(const Value& active, const Value& tabs) {
  Value formats = Value::array();
  for (auto [name, writable] : {std::pair{"docx", true}, std::pair{"pptx", true},
                                std::pair{"xlsx", true}, std::pair{"md", true},
                                std::pair{"pdf", false}}) {
    formats.push_back({{"format", name}, {"writable", writable}});
  }
  return {{"protocolVersion", 3}, {"busy", false}, {"activeTab", active},
          {"tabs", tabs},         {"formats", formats}};
}

// Waits up to ten seconds for `done`.
template <class Condition>
bool eventually(Condition done) {
  for (int i = 0; i < 200; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

// Sends `bytes` straight to the app at `socket` and returns what comes back up to the first
// line feed or the end of the stream.
std::string send_raw(const std::string& socket, std::string_view bytes) {
  auto address = protocol::loopback_address(socket);
  if (!address) return "bad address";
  auto stream = platform::Socket::connect(*address, std::chrono::seconds(5));
  if (!stream) return "connect: " + stream.error().message;
  (void)stream->set_receive_timeout(std::chrono::seconds(20));
  if (!bytes.empty() && !stream->send_all(bytes)) return "send failed";
  (void)stream->shutdown_write();
  std::string answer;
  char buffer[4096];
  while (answer.find('\n') == std::string::npos) {
    auto got = stream->receive(buffer);
    if (!got || *got == 0) break;
    answer.append(buffer, *got);
  }
  return answer;
}

struct Step {
  std::vector<std::string> args;
  int exit_code;
  std::string out;
  std::string err;
};

TEST(StandIn, TabModelRoundTrip) {
  AppData app;
  const std::string report = platform::join(app.dir(), "report.docx");
  const std::string notes = platform::join(app.dir(), "notes.TXT");
  const Value tab1 = tab("tab-1", report, "docx", false);
  const Value tab2 = tab("tab-2", nullptr, "xlsx", true);
  const std::vector<Step> steps = {
      {{"open", "--path", report}, 0, line(tab1), ""},
      {{"new", "--format", "xlsx"}, 0, line(tab2), ""},
      {{"open", "--path", notes}, 1, "",
       failure_line("UnsupportedFormat", "no registered format opens " + notes)},
      {{"new", "--format", "pdf"}, 1, "",
       failure_line("UnsupportedFormat", "pdf is not a registered writable format")},
      {{"select-tab", "--target", "tab-1"}, 0, line(tab1), ""},
      {{"select-tab", "--target", "tab-9"}, 1, "", failure_line("NotFound", "no tab matches tab-9")},
      {{"status"}, 0, line(status("tab-1", {tab1, tab2})), ""},
      {{"select-tab", "--target", "tab-2"}, 0, line(tab2), ""},
      // Opening an open document brings its tab forward instead of adding one.
      {{"open", "--path", report}, 0, line(tab1), ""},
      {{"close", "--target", "tab-2"}, 1, "",
       failure_line("UnsavedChanges", "tab-2 has unsaved changes; close it with force to discard them")},
      {{"close", "--target", "tab-2", "--force"}, 0,
       line({{"closed", "tab-2"}, {"activeTab", "tab-1"}}), ""},
      {{"close"}, 0, line({{"closed", "tab-1"}, {"activeTab", nullptr}}), ""},
      {{"close"}, 1, "", failure_line("NotFound", "no tab is open")},
      {{"status"}, 0, line(status(nullptr, Value::array())), ""},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.args[0] + (step.args.size() > 1 ? " " + step.args.back() : ""));
    auto result = run_quillboard(app, step.args);
    EXPECT_EQ(result.exit_code, step.exit_code);
    EXPECT_EQ(result.out, step.out);
    EXPECT_EQ(result.err, step.err);
  }
  EXPECT_EQ(app.stand_in_starts().size(), 1u);
}

TEST(StandIn, WrongTokenIsRefusedAndAForeignFileOutlivesTheApp) {
  AppData app;
  ASSERT_EQ(run_quillboard(app, {"status"}, {"QB_STANDIN_IDLE_MS=1500"}).exit_code, 0);
  auto handshake = app.handshake();
  ASSERT_TRUE(handshake.has_value());
  app.publish(handshake->socket, "not-the-token", handshake->pid);

  auto result = run_quillboard(app, {"status"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, failure_line("Unauthorized", "the control token does not match"));

  // The app ends when idle, and leaves the file that is no longer its own.
  EXPECT_TRUE(eventually([&] { return app.stand_in_exits().size() == 1; }));
  EXPECT_TRUE(platform::is_regular_file(app.control_file()));
}

TEST(StandIn, RemovesItsControlFileWhenItEndsIdle) {
  AppData app;
  ASSERT_EQ(run_quillboard(app, {"status"}, {"QB_STANDIN_IDLE_MS=700"}).exit_code, 0);
  EXPECT_TRUE(eventually([&] { return !platform::is_regular_file(app.control_file()); }));
  EXPECT_TRUE(eventually([&] { return app.stand_in_exits().size() == 1; }));
}

TEST(StandIn, KnobsShapeTheAnswer) {
  struct Case {
    std::string knob;
    int exit_code;
    std::string out;
    std::string err;
  };
  const std::vector<Case> cases = {
      // Without a knob, operations that the app does not model echo what arrived.
      {"", 0,
       line({{"op", "undo"}, {"params", {{"target", "tab-9"}}}, {"client", {{"id", "codex"}, {"version", "2"}}}}),
       ""},
      {R"(QB_STANDIN_RAW_ANSWER={"ok":true,"data":[1,"two"]}\n)", 0, "[1,\"two\"]\n", ""},
      {R"(QB_STANDIN_RAW_ANSWER=\xff\n)", 1, "",
       failure_line("BadRequest", "could not read the answer: stream did not contain valid UTF-8")},
      {"QB_STANDIN_CLOSE_WITHOUT_ANSWER=1", 1, "",
       failure_line("BadRequest", "could not read the answer: connection closed before a frame arrived")},
      {"QB_STANDIN_ANSWER_DELAY_MS=300", 0,
       line({{"op", "undo"}, {"params", {{"target", "tab-9"}}}, {"client", {{"id", "codex"}, {"version", "2"}}}}),
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.knob);
    AppData app;
    auto result = run_quillboard(app, {"undo", "--target", "tab-9", "--client", "codex/2"}, {c.knob});
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
  }
}

TEST(StandIn, SurvivesHostilePeers) {
  AppData app;
  ASSERT_EQ(run_quillboard(app, {"status"}).exit_code, 0);
  auto handshake = app.handshake();
  ASSERT_TRUE(handshake.has_value());
  const std::string token = handshake->token;

  struct Case {
    std::string name;
    std::string bytes;
    std::string code;  // empty: no answer expected; "ok": a successful one
  };
  const std::vector<Case> cases = {
      {"nothing at all", "", ""},
      {"not JSON", "hello there\n", "BadRequest"},
      {"no token", R"({"op":"status","params":{}})" "\n", "BadRequest"},
      {"invalid UTF-8", "\xff\xfe\n", "BadRequest"},
      {"deep nesting", std::string(5000, '[') + "\n", "BadRequest"},
      {"no line feed before the end", R"({"token":")" + token + R"(","op":"status"})", "ok"},
      {"a wrong token", R"({"token":"x","op":"status","params":{}})" "\n", "Unauthorized"},
      {"a line of 8 MiB", std::string(protocol::kMaxFrameBytes, 'x'), "BadRequest"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto answer = send_raw(handshake->socket, c.bytes);
    if (c.code.empty()) {
      EXPECT_EQ(answer, "");
      continue;
    }
    auto value = json::parse(answer);
    ASSERT_TRUE(value.has_value()) << answer;
    EXPECT_EQ((*value)["ok"], c.code == "ok");
    if (c.code != "ok") {
      EXPECT_EQ((*value)["error"]["code"], c.code);
    }
  }
  // Still there, and still the same app.
  auto result = run_quillboard(app, {"status"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(app.stand_in_starts().size(), 1u);
}

}  // namespace
}  // namespace tov::testing
