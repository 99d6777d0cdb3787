#include "cli_protocol/control_call.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "support/env_guard.h"
#include "support/expected_output.h"
#include "support/scripted_app.h"

namespace tov::protocol {
namespace {

using namespace std::chrono_literals;
using platform::ErrorKind;
using tov::testing::AppData;
using tov::testing::EnvGuard;
using tov::testing::failure_of;
using tov::testing::Reply;
using tov::testing::ScriptedApp;

std::string joined(std::initializer_list<std::string_view> parts) {
  std::string path;
  for (auto part : parts) path = platform::join(path, part);
  return path;
}

TEST(Brand, SettingsAreTrimmedOrFallBack) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"  Quill  ", "Default", "Quill"},
      {"\t\xE3\x80\x80Quill Board\xC2\xA0\n", "Default", "Quill Board"},
      {"", "Default", "Default"},
      {" \xE2\x80\x83\n", " Default ", " Default "},  // the default is used untrimmed
  };
  for (const auto& [value, fallback, expected] : cases) EXPECT_EQ(brand_setting(value, fallback), expected);
  EXPECT_EQ(brand_product_name(), "Quillboard");
  EXPECT_EQ(brand_app_id(), "com.vantix.office");
  EXPECT_EQ(program_file_name(), "quillboard.exe");
}

TEST(WithExeSuffix, AddsTheSuffixUnlessTheStemEndsInLowerCaseExe) {
  const std::pair<std::string, std::string> cases[] = {
      {"app.exe", "app.exe"}, {".exe", ".exe"}, {"APP.EXE", "APP.EXE.exe"},
      {"exe", "exe.exe"},     {"ex", "ex.exe"}, {"", ".exe"},
  };
  for (const auto& [stem, name] : cases) EXPECT_EQ(with_exe_suffix(stem), name) << stem;
}

TEST(ControlFilePath, BaseFolderFromTheEnvironment) {
  struct Case {
    const char* what;
    std::optional<std::string> appdata, userprofile;
    std::string expected;
  };
  const Case cases[] = {
      {"APPDATA first", "/data/", "/home/u", joined({"/data/", "com.vantix.office", "cli-control.json"})},
      {"empty APPDATA passes over", "", "/home/u",
       joined({"/home/u", "AppData", "Roaming", "com.vantix.office", "cli-control.json"})},
      {"empty USERPROFILE counts", std::nullopt, "",
       joined({"AppData", "Roaming", "com.vantix.office", "cli-control.json"})},
  };
  for (const auto& c : cases) {
    EnvGuard env;
    c.appdata ? env.set("APPDATA", *c.appdata) : env.unset("APPDATA");
    c.userprofile ? env.set("USERPROFILE", *c.userprofile) : env.unset("USERPROFILE");
    EXPECT_EQ(control_file_path(), c.expected) << c.what;
  }
}

TEST(ControlFilePath, WithNeitherVariableThereIsNone) {
  EnvGuard env;
  // HOME stays set: only the two variables decide, on every platform.
  for (const char* name : {"APPDATA", "USERPROFILE"}) env.unset(name);
  EXPECT_EQ(control_file_path(), std::nullopt);
  EXPECT_EQ(failure_of(load_handshake(Face::Cli)), "no home directory");
}

TEST(LoadHandshake, MessagesOfBothFaces) {
  const std::string not_published =
      "Quillboard has not published its control handshake. Is the app still starting, or did it just quit? "
      "Try again once it is running.";
  struct Case {
    const char* what;
    std::optional<std::string> file;  // none: not even the app's folder exists
    std::string cli, mcp;             // the failures; empty for success
  };
  const Case cases[] = {
      {"no folder, no file", std::nullopt, not_published, not_published},
      {"empty file", "", "the handshake file is unreadable: EOF while parsing a value at line 1 column 0",
       "unreadable handshake: EOF while parsing a value at line 1 column 0"},
      {"other version", R"({"version":2,"socket":"127.0.0.1:1","token":"t","pid":1})",
       "the app speaks protocol 2 but this CLI speaks 3. Rebuild them together.",
       "the app speaks control protocol 2 but this build speaks 3"},
      {"missing token", R"({"version":3,"socket":"127.0.0.1:1","pid":1})",
       "the handshake file is unreadable: missing field `token` at line 1 column 44",
       "unreadable handshake: missing field `token` at line 1 column 44"},
      {"good, with an extra key", "{\"version\":3,\"socket\":\"s\",\"token\":\"t\",\"pid\":7,\"x\":[]}\n", "", ""},
  };
  for (const auto& c : cases) {
    AppData app_data;
    EnvGuard env;
    env.set("APPDATA", app_data.dir());
    if (c.file) app_data.write_control_file(*c.file);
    for (Face face : {Face::Cli, Face::Mcp}) {
      const std::string& expected = face == Face::Cli ? c.cli : c.mcp;
      auto handshake = load_handshake(face);
      EXPECT_EQ(failure_of(handshake), expected.empty() ? "(no failure)" : expected) << c.what;
      if (handshake) {
        EXPECT_EQ(handshake->socket, "s");
        EXPECT_EQ(handshake->token, "t");
        EXPECT_EQ(handshake->pid, 7u);
      }
    }
  }
}

TEST(LoadHandshake, FileThatIsNotUtf8) {
  AppData app_data;
  EnvGuard env;
  env.set("APPDATA", app_data.dir());
  app_data.write_control_file("{\"version\":3,\"socket\":\"\xFF\",\"token\":\"t\",\"pid\":1}");
  EXPECT_EQ(failure_of(load_handshake(Face::Cli)),
            "could not read " + app_data.control_file() + ": stream did not contain valid UTF-8");
}

TEST(LoopbackAddress, ReadsOnlyLoopbackSocketAddresses) {
  struct Accepted {
    std::string text;
    bool v6;
    std::uint16_t port;
    std::uint32_t scope;
  };
  const Accepted accepted[] = {
      {"127.0.0.1:8080", false, 8080, 0}, {"127.255.0.9:0", false, 0, 0},      {"127.0.0.1:0080", false, 80, 0},
      {"[::1]:65535", true, 65535, 0},    {"[0:0:0:0:0:0:0:1]:2", true, 2, 0}, {"[0000::00:0001%7]:3", true, 3, 7},
      {"[::0.0.0.1]:4", true, 4, 0},
  };
  for (const auto& c : accepted) {
    auto address = loopback_address(c.text);
    ASSERT_TRUE(address.has_value()) << c.text << ": " << address.error().message;
    EXPECT_EQ(address->is_v6, c.v6) << c.text;
    EXPECT_EQ(address->port, c.port) << c.text;
    EXPECT_EQ(address->scope_id, c.scope) << c.text;
  }

  const std::string not_loopback[] = {
      "0.0.0.0:80", "192.168.1.5:80",  "128.0.0.1:1",         "[::ffff:127.0.0.1]:80",
      "[::]:80",    "[::127.0.0.1]:1", "[1:2:3:4:5:6:7::]:1",
  };
  for (const auto& text : not_loopback) {
    auto address = loopback_address(text);
    ASSERT_FALSE(address.has_value()) << text;
    EXPECT_EQ(address.error().kind, ErrorKind::InvalidInput) << text;
    EXPECT_EQ(address.error().message, "the control channel only talks to this machine") << text;
  }

  const std::string unreadable[] = {
      "", "localhost:80", "127.0.0.1", "127.0.0.1: 80", " 127.0.0.1:80", "127.0.0.1:80 ", "127.0.0.1:65536",
      "127.0.0.01:80", "127.0.0.256:80", "127.0.0:80", "127.0.0.1:+80", "::1:80", "[::1]", "[::1%]:80",
      "[::1%4294967296]:80", "[1::2::3]:80", "[12345::1]:80", "[:::1]:80", "[1:2:3:4:5:6:7:8:9]:80",
      "[1.2.3.4::1]:80", "[::1.2.3]:80", "[::1] :80", "[1:2:3:4:5:6:7:1.2.3.4]:80",
  };
  for (const auto& text : unreadable) {
    auto address = loopback_address(text);
    ASSERT_FALSE(address.has_value()) << text;
    EXPECT_EQ(address.error().kind, ErrorKind::InvalidInput) << text;
    EXPECT_EQ(address.error().message, "\u201C" + text + "\u201D is not an address this build can reach") << text;
  }
}

TEST(ConnectLoopback, RefusedConnectionKeepsItsKind) {
  auto socket = connect_loopback(tov::testing::refusing_socket());
  ASSERT_FALSE(socket.has_value());
  EXPECT_EQ(socket.error().kind, ErrorKind::ConnectionRefused) << socket.error().message;
}

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
