// doctor run as a process: the report line, byte for byte, against scripted apps and broken
// control files; it never starts the app.
#include <gtest/gtest.h>

#include "json/json.h"
#include "platform/platform.h"
#include "support/scripted_app.h"
#include "support/test_support.h"

namespace tov::testing {
namespace {

using namespace std::chrono_literals;

std::string json_quoted(std::string_view text) {
  auto out = json::to_compact(json::Value(std::string(text)));
  return out ? *out : std::string("<unrenderable>");
}

// The whole report line, each argument a JSON text in its key's place.
std::string report(const AppData& app_data, bool present, std::string_view app_pid,
                   std::string_view app_version, std::string_view app_status,
                   std::string_view endpoint, std::string_view reachable) {
  return "{\"appPid\":" + std::string(app_pid) +
         ",\"appProtocolVersion\":" + std::string(app_version) +
         ",\"appStatus\":" + std::string(app_status) +
         ",\"cliProtocolVersion\":3,\"endpoint\":" + std::string(endpoint) +
         ",\"endpointReachable\":" + std::string(reachable) +
         ",\"handshakeFile\":" + json_quoted(app_data.control_file()) +
         ",\"handshakePresent\":" + (present ? "true" : "false") + "}\n";
}

std::string no_handshake_report(const AppData& app_data, bool present) {
  return report(app_data, present, "null", "null", "null", "null", "null");
}

std::string unavailable(std::string_view message) {
  return "{\"error\":{\"code\":\"Unavailable\",\"message\":" + json_quoted(message) +
         "},\"ok\":false}";
}

void expect_ok(const ProcessResult& got, const std::string& out, const std::string& context) {
  EXPECT_FALSE(got.timed_out) << context;
  EXPECT_EQ(got.out, out) << context;
  EXPECT_EQ(got.err, "") << context;
  EXPECT_EQ(got.exit_code, 0) << context;
}

TEST(Doctor, WithoutAControlFileReportsFiveNullsAndStartsNothing) {
  AppData app_data;
  expect_ok(run_quillboard(app_data, {"doctor"}), no_handshake_report(app_data, false), "none");
  expect_ok(run_quillboard(app_data, {"doctor", "--compact", "--client", "x/1"}),
            no_handshake_report(app_data, false), "with options");
  EXPECT_TRUE(app_data.stand_in_starts().empty());
}

TEST(Doctor, ControlFileThatDoesNotLoadReportsFiveNulls) {
  const std::string files[] = {
      "",
      "not json",
      "{\"version\":3,\"socket\":\"127.0.0.1:1\",\"token\":\"t\"}",
      "{\"version\":2,\"socket\":\"127.0.0.1:1\",\"token\":\"t\",\"pid\":1}",
      "\xEF\xBB\xBF{\"version\":3,\"socket\":\"127.0.0.1:1\",\"token\":\"t\",\"pid\":1}",
  };
  for (const std::string& file : files) {
    AppData app_data;
    app_data.write_control_file(file);
    expect_ok(run_quillboard(app_data, {"doctor"}), no_handshake_report(app_data, true), file);
    EXPECT_TRUE(app_data.stand_in_starts().empty()) << file;
  }
}

TEST(Doctor, NoDataDirectoryFails) {
  RunOptions options;
  options.args = {"doctor"};
  if (auto path = platform::env_path("PATH")) options.env.push_back("PATH=" + *path);
  const ProcessResult got = run_program(program_path(), options);
  EXPECT_EQ(got.out, "");
  EXPECT_EQ(got.err,
            "{\"error\":{\"code\":\"BadRequest\",\"message\":\"no data directory for this "
            "user\"},\"ok\":false}\n");
  EXPECT_EQ(got.exit_code, 1);
}

TEST(Doctor, EndpointThatCannotBeReached) {
  struct Case {
    std::string socket;
    std::string refusal;
  };
  const Case cases[] = {
      {"10.0.0.1:80", "the control channel only talks to this machine"},
      {"[::ffff:127.0.0.1]:80", "the control channel only talks to this machine"},
      {"localhost:80", "\u201Clocalhost:80\u201D is not an address this build can reach"},
      {" 127.0.0.1:80", "\u201C 127.0.0.1:80\u201D is not an address this build can reach"},
  };
  for (const Case& c : cases) {
    AppData app_data;
    app_data.publish(c.socket, "secret-token", 77);
    const std::string status =
        unavailable("could not reach the app on " + c.socket + ": " + c.refusal);
    expect_ok(
        run_quillboard(app_data, {"doctor"}),
        report(app_data, true, "77", "3", status, json_quoted(c.socket), json_quoted(c.refusal)),
        c.socket);
  }
}

TEST(Doctor, StaleControlFileShowsTheConnectionError) {
  std::string socket;
  {
    auto listener = platform::Listener::bind_loopback();
    ASSERT_TRUE(listener.has_value());
    socket = "127.0.0.1:" + std::to_string(listener->port());
  }  // closed: nothing listens there any more
  AppData app_data;
  app_data.publish(socket, "secret-token", 99);
  const ProcessResult got = run_quillboard(app_data, {"doctor"});
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.exit_code, 0);
  auto value = json::parse(got.out);
  ASSERT_TRUE(value.has_value()) << got.out;
  const json::Value& reachable = (*value)["endpointReachable"];
  ASSERT_TRUE(reachable.is_string()) << got.out;
  const std::string error = reachable.get<std::string>();
  expect_ok(got,
            report(app_data, true, "99", "3",
                   unavailable("could not reach the app on " + socket + ": " + error),
                   json_quoted(socket), json_quoted(error)),
            "stale");
  EXPECT_TRUE(app_data.stand_in_starts().empty());
}

const std::string kTimeoutMessage =
    "The app did not answer within the operation deadline. The request may still complete; "
    "inspect the destination file before retrying an export, or status before retrying a "
    "write.";

TEST(Doctor, AppStatusShapes) {
  struct Case {
    std::string name;
    Reply reply;
    std::string status;
  };
  const Case cases[] = {
      {"answered",
       {.bytes = "{\"ok\":true,\"data\":{\"protocolVersion\":3,\"busy\":false,\"activeTab\":\"t1\","
                 "\"tabs\":[{},{}],\"formats\":[\"docx\"]}}\n"},
       "{\"activeTab\":\"t1\",\"busy\":false,\"ok\":true,\"protocolVersion\":3,\"tabCount\":2}"},
      {"no data",
       {.bytes = "{\"ok\":true}\n"},
       "{\"activeTab\":null,\"busy\":null,\"ok\":true,\"protocolVersion\":null,\"tabCount\":null}"},
      {"data not an object",
       {.bytes = "{\"ok\":true,\"data\":[{\"tabs\":[]}]}\n"},
       "{\"activeTab\":null,\"busy\":null,\"ok\":true,\"protocolVersion\":null,\"tabCount\":null}"},
      {"empty tabs",
       {.bytes = "{\"ok\":true,\"data\":{\"tabs\":[]}}\n"},
       "{\"activeTab\":null,\"busy\":null,\"ok\":true,\"protocolVersion\":null,\"tabCount\":0}"},
      {"tabs an object",
       {.bytes = "{\"ok\":true,\"data\":{\"tabs\":{\"a\":1}}}\n"},
       "{\"activeTab\":null,\"busy\":null,\"ok\":true,\"protocolVersion\":null,\"tabCount\":null}"},
      {"members of any type",
       {.bytes = "{\"ok\":true,\"data\":{\"tabs\":\"ab\",\"busy\":{\"b\":[1]},\"activeTab\":[null],"
                 "\"protocolVersion\":\"3\"}}\n"},
       "{\"activeTab\":[null],\"busy\":{\"b\":[1]},\"ok\":true,\"protocolVersion\":\"3\","
       "\"tabCount\":null}"},
      {"refused without an error", {.bytes = "{\"ok\":false}\n"}, "{\"error\":null,\"ok\":false}"},
      {"refused with details",
       {.bytes = "{\"ok\":false,\"data\":1,\"error\":{\"code\":\"Busy\",\"message\":\"m\","
                 "\"details\":{\"why\":\"x\"}}}\n"},
       "{\"error\":{\"code\":\"Busy\",\"details\":{\"why\":\"x\"},\"message\":\"m\"},\"ok\":"
       "false}"},
      {"closed without answer",
       {.bytes = "", .close_without_answer = true},
       unavailable("could not read the answer: connection closed before a frame arrived")},
      {"garbage",
       {.bytes = "{\"ok\":1}\n"},
       unavailable("could not read the answer: invalid type: integer `1`, expected a boolean at "
                   "line 1 column 7")},
  };
  for (const Case& c : cases) {
    ScriptedApp app({c.reply});
    AppData app_data;
    app_data.publish(app.socket_text(), "secret-token", 4242);
    const ProcessResult got = run_quillboard(app_data, {"doctor"});
    expect_ok(got,
              report(app_data, true, "4242", "3", c.status, json_quoted(app.socket_text()), "true"),
              c.name);
    EXPECT_EQ(got.out.find("secret-token"), std::string::npos) << c.name;
    // The probe carries no byte; only the second connection asks for the status.
    EXPECT_EQ(app.connections(), 2) << c.name;
    EXPECT_EQ(
        app.requests(),
        std::vector<std::string>{"{\"token\":\"secret-token\",\"op\":\"status\",\"params\":{}}"})
        << c.name;
  }
}

TEST(Doctor, SendsTheClientButDoesNotReportIt) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::string client;
  };
  const Case cases[] = {
      {{"doctor", "--client", "codex/2"}, {}, ",\"client\":{\"id\":\"codex\",\"version\":\"2\"}"},
      {{"doctor", "--compact"},
       {"AI_AGENT=agentx_"},
       ",\"client\":{\"id\":\"agentx\",\"version\":\"\"}"},
      {{"doctor"}, {}, ""},
  };
  for (const Case& c : cases) {
    ScriptedApp app({{.bytes = "{\"ok\":true}\n"}});
    AppData app_data;
    app_data.publish(app.socket_text(), "secret-token", 1);
    const std::string status =
        "{\"activeTab\":null,\"busy\":null,\"ok\":true,\"protocolVersion\":null,\"tabCount\":null}";
    expect_ok(run_quillboard(app_data, c.args, c.env),
              report(app_data, true, "1", "3", status, json_quoted(app.socket_text()), "true"),
              ::testing::PrintToString(c.args));
    EXPECT_EQ(app.requests(),
              std::vector<std::string>{
                  "{\"token\":\"secret-token\",\"op\":\"status\",\"params\":{}" + c.client + "}"})
        << ::testing::PrintToString(c.args);
  }
}

TEST(Doctor, WorksOverIpv6Loopback) {
  ScriptedApp app({{.bytes = "{\"ok\":true,\"data\":{\"tabs\":[1]}}\n"}}, /*v6=*/true);
  AppData app_data;
  app_data.publish(app.socket_text(), "t", 5);
  const std::string status =
      "{\"activeTab\":null,\"busy\":null,\"ok\":true,\"protocolVersion\":null,\"tabCount\":1}";
  expect_ok(run_quillboard(app_data, {"doctor"}),
            report(app_data, true, "5", "3", status, json_quoted(app.socket_text()), "true"), "v6");
}

TEST(Doctor, SilentAppGivesTheTimeoutInsideTheRefusedShape) {
  ScriptedApp app({{.bytes = "{\"ok\":true}\n", .delay = 18s}});
  AppData app_data;
  app_data.publish(app.socket_text(), "t", 6);
  const std::string status =
      "{\"error\":{\"code\":\"Timeout\",\"message\":" + json_quoted(kTimeoutMessage) +
      "},\"ok\":false}";
  expect_ok(run_quillboard(app_data, {"doctor"}),
            report(app_data, true, "6", "3", status, json_quoted(app.socket_text()), "true"),
            "timeout");
}

}  // namespace
}  // namespace tov::testing
