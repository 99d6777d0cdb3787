#include "cli_protocol/control_file.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "support/env_guard.h"
#include "support/scripted_app.h"

namespace tov::protocol {
namespace {

using tov::testing::AppData;
using tov::testing::EnvGuard;
using tov::testing::failure_of;

std::string joined(std::initializer_list<std::string_view> parts) {
  std::string path;
  for (auto part : parts) path = platform::join(path, part);
  return path;
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

}  // namespace
}  // namespace tov::protocol
