// The stand-in app as a user meets it through the program: its tab model, its echo of the
// operations it does not model, its token check and its test knobs.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

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

TEST(StandIn, TabModelRoundTrip) {
  AppData app;
  const std::string report = platform::join(app.dir(), "report.docx");
  const std::string notes = platform::join(app.dir(), "notes.TXT");
  const Value tab1 = tab("tab-1", report, "docx", false);
  const Value tab2 = tab("tab-2", nullptr, "xlsx", true);
  const std::pair<std::vector<std::string>, Expected> steps[] = {
      {{"open", "--path", report}, {line(tab1), "", 0}},
      {{"new", "--format", "xlsx"}, {line(tab2), "", 0}},
      {{"open", "--path", notes}, {"", failure_line("UnsupportedFormat", "no registered format opens " + notes), 1}},
      {{"new", "--format", "pdf"},
       {"", failure_line("UnsupportedFormat", "pdf is not a registered writable format"), 1}},
      {{"select-tab", "--target", "tab-1"}, {line(tab1), "", 0}},
      {{"select-tab", "--target", "tab-9"}, {"", failure_line("NotFound", "no tab matches tab-9"), 1}},
      {{"status"}, {line(status("tab-1", {tab1, tab2})), "", 0}},
      {{"select-tab", "--target", "tab-2"}, {line(tab2), "", 0}},
      // Opening an open document brings its tab forward instead of adding one.
      {{"open", "--path", report}, {line(tab1), "", 0}},
      {{"close", "--target", "tab-2"},
       {"", failure_line("UnsavedChanges", "tab-2 has unsaved changes; close it with force to discard them"), 1}},
      {{"close", "--target", "tab-2", "--force"}, {line({{"closed", "tab-2"}, {"activeTab", "tab-1"}}), "", 0}},
      {{"close"}, {line({{"closed", "tab-1"}, {"activeTab", nullptr}}), "", 0}},
      {{"close"}, {"", failure_line("NotFound", "no tab is open"), 1}},
      {{"status"}, {line(status(nullptr, Value::array())), "", 0}},
  };
  for (const auto& [args, want] : steps) expect_result(run_quillboard(app, args), want, ::testing::PrintToString(args));
  EXPECT_EQ(app.stand_in_starts().size(), 1u);
}

TEST(StandIn, RefusesAWrongTokenAndRemovesOnlyItsOwnControlFileWhenIdle) {
  AppData own;
  ASSERT_EQ(run_quillboard(own, {"status"}, {"QB_STANDIN_IDLE_MS=700"}).exit_code, 0);
  EXPECT_TRUE(eventually([&] { return !platform::is_regular_file(own.control_file()); }));
  EXPECT_TRUE(eventually([&] { return own.stand_in_exits().size() == 1; }));

  AppData app;
  // Idle long enough that the app still runs for the second command, however slowly a
  // loaded machine starts it.
  ASSERT_EQ(run_quillboard(app, {"status"}, {"QB_STANDIN_IDLE_MS=5000"}).exit_code, 0);
  auto handshake = app.handshake();
  ASSERT_TRUE(handshake.has_value());
  app.publish(handshake->socket, "not-the-token", handshake->pid);
  expect_result(run_quillboard(app, {"status"}),
                {"", failure_line("Unauthorized", "the control token does not match"), 1}, "wrong token");
  // The app ends when idle, and leaves the file that is no longer its own.
  EXPECT_TRUE(eventually([&] { return app.stand_in_exits().size() == 1; }));
  EXPECT_TRUE(platform::is_regular_file(app.control_file()));
}

TEST(StandIn, KnobsShapeTheAnswer) {
  // Without a knob, operations that the app does not model echo what arrived.
  const std::string echo =
      line({{"op", "undo"}, {"params", {{"target", "tab-9"}}}, {"client", {{"id", "codex"}, {"version", "2"}}}});
  const std::pair<std::string, Expected> cases[] = {
      {"QB_STANDIN_ANSWER_DELAY_MS=0", {echo, "", 0}},
      {R"(QB_STANDIN_RAW_ANSWER={"ok":true,"data":[1,"two"]}\n)", {"[1,\"two\"]\n", "", 0}},
      {R"(QB_STANDIN_RAW_ANSWER=\xff\n)",
       {"", bad_request("could not read the answer: stream did not contain valid UTF-8"), 1}},
      {"QB_STANDIN_CLOSE_WITHOUT_ANSWER=1",
       {"", bad_request("could not read the answer: connection closed before a frame arrived"), 1}},
      {"QB_STANDIN_ANSWER_DELAY_MS=300", {echo, "", 0}},
  };
  for (const auto& [knob, want] : cases) {
    AppData app;
    expect_result(run_quillboard(app, {"undo", "--target", "tab-9", "--client", "codex/2"}, {knob}), want, knob);
  }
}

}  // namespace
}  // namespace tov::testing
