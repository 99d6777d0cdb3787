// doctor run as a process: the report line, byte for byte, against scripted apps and broken
// control files; it never starts the app.
#include <gtest/gtest.h>

#include "json/json.h"
#include "platform/platform.h"
#include "support/expected_output.h"
#include "support/scripted_app.h"
#include "support/test_support.h"

namespace tov::testing {
namespace {

using namespace std::chrono_literals;

// The whole report line, each argument a JSON text in its key's place.
std::string report(const AppData& app_data, bool present, std::string_view app_pid, std::string_view app_status,
                   std::string_view endpoint, std::string_view reachable) {
  const bool loaded = app_pid != "null";
  return "{\"appPid\":" + std::string(app_pid) + ",\"appProtocolVersion\":" + (loaded ? "3" : "null") +
         ",\"appStatus\":" + std::string(app_status) + ",\"cliProtocolVersion\":3,\"endpoint\":" +
         std::string(endpoint) + ",\"endpointReachable\":" + std::string(reachable) +
         ",\"handshakeFile\":" + json_quoted(app_data.control_file()) +
         ",\"handshakePresent\":" + (present ? "true" : "false") + "}\n";
}

std::string no_handshake_report(const AppData& app_data, bool present) {
  return report(app_data, present, "null", "null", "null", "null");
}

std::string unavailable(std::string_view message) {
  return "{\"error\":{\"code\":\"Unavailable\",\"message\":" + json_quoted(message) + "},\"ok\":false}";
}

TEST(Doctor, ControlFileMissingOrNotLoadingReportsFiveNullsAndStartsNothing) {
  AppData none;
  expect_result(run_quillboard(none, {"doctor"}), {no_handshake_report(none, false), "", 0}, "none");
  expect_result(run_quillboard(none, {"doctor", "--compact", "--client", "x/1"}),
                {no_handshake_report(none, false), "", 0}, "with options");
  EXPECT_TRUE(none.stand_in_starts().empty());

  const std::string files[] = {
      "not json",
      "{\"version\":2,\"socket\":\"127.0.0.1:1\",\"token\":\"t\",\"pid\":1}",
      "\xEF\xBB\xBF{\"version\":3,\"socket\":\"127.0.0.1:1\",\"token\":\"t\",\"pid\":1}",
  };
  for (const std::string& file : files) {
    AppData app_data;
    app_data.write_control_file(file);
    expect_result(run_quillboard(app_data, {"doctor"}), {no_handshake_report(app_data, true), "", 0}, file);
    EXPECT_TRUE(app_data.stand_in_starts().empty()) << file;
  }
}

TEST(Doctor, NoDataDirectoryFails) {
  RunOptions options;
  options.args = {"doctor"};
  if (auto path = platform::env_path("PATH")) options.env.push_back("PATH=" + *path);
  expect_result(run_program(program_path(), options), {"", bad_request("no data directory for this user"), 1},
                "no data directory");
}

TEST(Doctor, EndpointThatCannotBeReached) {
  const std::pair<std::string, std::string> cases[] = {
      {"[::ffff:127.0.0.1]:80", "the control channel only talks to this machine"},
      {" 127.0.0.1:80", "\u201C 127.0.0.1:80\u201D is not an address this build can reach"},
  };
  for (const auto& [socket, refusal] : cases) {
    AppData app_data;
    app_data.publish(socket, "secret-token", 77);
    const std::string status = unavailable("could not reach the app on " + socket + ": " + refusal);
    expect_result(run_quillboard(app_data, {"doctor"}),
                  {report(app_data, true, "77", status, json_quoted(socket), json_quoted(refusal)), "", 0}, socket);
  }
}

TEST(Doctor, StaleControlFileShowsTheConnectionError) {
  const std::string socket = refusing_socket();
  AppData app_data;
  app_data.publish(socket, "secret-token", 99);
  const ProcessResult got = run_quillboard(app_data, {"doctor"});
  auto value = json::parse(got.out);
  ASSERT_TRUE(value.has_value()) << got.out;
  const json::Value& reachable = (*value)["endpointReachable"];
  ASSERT_TRUE(reachable.is_string()) << got.out;
  const std::string error = reachable.get<std::string>();
  const std::string status = unavailable("could not reach the app on " + socket + ": " + error);
  expect_result(got, {report(app_data, true, "99", status, json_quoted(socket), json_quoted(error)), "", 0}, "stale");
  EXPECT_TRUE(app_data.stand_in_starts().empty());
}

TEST(Doctor, AppStatusShapes) {
  const std::string nothing_known =
      "{\"activeTab\":null,\"busy\":null,\"ok\":true,\"protocolVersion\":null,\"tabCount\":null}";
  struct Case {
    std::string name;
    Reply reply;
    std::string status;
    std::vector<std::string> args = {"doctor"};
    std::vector<std::string> env = {};
    std::string client = "";  // what the status request carries after its params
    bool v6 = false;
  };
  const Case cases[] = {
      {"answered",
       {.bytes = "{\"ok\":true,\"data\":{\"protocolVersion\":3,\"busy\":false,\"activeTab\":\"t1\","
                 "\"tabs\":[{},{}],\"formats\":[\"docx\"]}}\n"},
       "{\"activeTab\":\"t1\",\"busy\":false,\"ok\":true,\"protocolVersion\":3,\"tabCount\":2}"},
      {"no data, client from the option", {.bytes = "{\"ok\":true}\n"}, nothing_known,
       {"doctor", "--client", "codex/2"}, {}, ",\"client\":{\"id\":\"codex\",\"version\":\"2\"}"},
      {"data not an object, client from the environment", {.bytes = "{\"ok\":true,\"data\":[{\"tabs\":[]}]}\n"},
       nothing_known, {"doctor", "--compact"}, {"AI_AGENT=agentx_"},
       ",\"client\":{\"id\":\"agentx\",\"version\":\"\"}"},
      {"empty tabs over IPv6",
       {.bytes = "{\"ok\":true,\"data\":{\"tabs\":[]}}\n"},
       "{\"activeTab\":null,\"busy\":null,\"ok\":true,\"protocolVersion\":null,\"tabCount\":0}",
       {"doctor"}, {}, "", true},
      {"tabs an object", {.bytes = "{\"ok\":true,\"data\":{\"tabs\":{\"a\":1}}}\n"}, nothing_known},
      {"members of any type",
       {.bytes = "{\"ok\":true,\"data\":{\"tabs\":\"ab\",\"busy\":{\"b\":[1]},\"activeTab\":[null],"
                 "\"protocolVersion\":\"3\"}}\n"},
       "{\"activeTab\":[null],\"busy\":{\"b\":[1]},\"ok\":true,\"protocolVersion\":\"3\",\"tabCount\":null}"},
      {"refused without an error", {.bytes = "{\"ok\":false}\n"}, "{\"error\":null,\"ok\":false}"},
      {"refused with details",
       {.bytes = "{\"ok\":false,\"data\":1,\"error\":{\"code\":\"Busy\",\"message\":\"m\","
                 "\"details\":{\"why\":\"x\"}}}\n"},
       "{\"error\":{\"code\":\"Busy\",\"details\":{\"why\":\"x\"},\"message\":\"m\"},\"ok\":false}"},
      {"closed without answer",
       {.bytes = "", .close_without_answer = true},
       unavailable("could not read the answer: connection closed before a frame arrived")},
      {"garbage",
       {.bytes = "{\"ok\":1}\n"},
       unavailable("could not read the answer: invalid type: integer `1`, expected a boolean at line 1 column 7")},
      {"silent", {.bytes = "{\"ok\":true}\n", .delay = 18s},
       "{\"error\":{\"code\":\"Timeout\",\"message\":" + json_quoted(kTimeoutMessage) + "},\"ok\":false}"},
  };
  for (const Case& c : cases) {
    ScriptedApp app({c.reply}, c.v6);
    AppData app_data;
    app_data.publish(app.socket_text(), "secret-token", 4242);
    expect_result(run_quillboard(app_data, c.args, c.env),
                  {report(app_data, true, "4242", c.status, json_quoted(app.socket_text()), "true"), "", 0}, c.name);
    // The probe carries no byte; only the second connection asks for the status.
    EXPECT_EQ(app.connections(), 2) << c.name;
    EXPECT_EQ(app.requests(),
              std::vector<std::string>{"{\"token\":\"secret-token\",\"op\":\"status\",\"params\":{}" + c.client + "}"})
        << c.name;
  }
}

}  // namespace
}  // namespace tov::testing
