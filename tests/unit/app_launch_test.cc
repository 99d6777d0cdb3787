#include "cli_protocol/app_launch.h"

#include <gtest/gtest.h>

#include <string>

#include "cli_protocol/call_app.h"
#include "support/env_guard.h"
#include "support/scripted_app.h"

namespace tov::protocol {
namespace {

using namespace std::chrono_literals;
using tov::testing::AppData;
using tov::testing::EnvGuard;
using tov::testing::failure_of;
using tov::testing::refusing_socket;
using tov::testing::ScriptedApp;

// No app executable lies beside the test binary, so every launch here stops at its first
// step; the waiting loops themselves run end to end against the stand-in app.
const std::string kNoApp = "Quillboard is not running, and the app is not beside this binary to start.";
const LaunchTiming kFast{10ms, 200ms};

// A temporary data folder for the length of one test.
struct DataFolder {
  AppData app_data;
  EnvGuard env;
  DataFolder() { env.set("APPDATA", app_data.dir()); }
};

TEST(ConnectOrLaunch, ConnectsWithoutLaunchingWhenTheAppListens) {
  DataFolder folder;
  ScriptedApp app({{"{\"ok\":true}\n"}});
  auto connection = connect_or_launch(Face::Cli, Handshake{3, app.socket_text(), "tok", 9}, kFast);
  ASSERT_TRUE(connection.has_value()) << connection.error();
  EXPECT_EQ(connection->handshake.token, "tok");
  auto response =
      call_app(connection->handshake, std::move(connection->stream), "status", json::Value::object(), std::nullopt);
  ASSERT_TRUE(response.has_value()) << response.error();
  EXPECT_TRUE(response->ok);
}

TEST(ConnectOrLaunch, OnlyAnAbsentAppLeadsToALaunch) {
  DataFolder folder;
  const std::pair<std::string, std::string> cases[] = {
      {"10.0.0.1:80", "could not reach the app on 10.0.0.1:80: the control channel only talks to this machine"},
      {"localhost:80",
       "could not reach the app on localhost:80: \u201Clocalhost:80\u201D is not an address this build can reach"},
      {refusing_socket(), kNoApp},
  };
  for (const auto& [socket, message] : cases) {
    EXPECT_EQ(failure_of(connect_or_launch(Face::Cli, Handshake{3, socket, "t", 1}, kFast)), message) << socket;
  }
  EXPECT_EQ(app_executable_path(), std::nullopt);
  EXPECT_EQ(failure_of(ensure_app_running(Face::Mcp, kFast)), kNoApp);
}

TEST(LocateApp, LoadsAnExistingFileWhateverItHolds) {
  DataFolder folder;
  EXPECT_EQ(failure_of(locate_app(kFast)), kNoApp);  // no file: a launch
  const std::pair<std::string, std::string> cases[] = {
      {R"({"version":4,"socket":"127.0.0.1:1","token":"t","pid":1})",
       "the app speaks protocol 4 but this CLI speaks 3. Rebuild them together."},
      {"not json", "the handshake file is unreadable: expected ident at line 1 column 2"},
  };
  for (const auto& [file, message] : cases) {
    folder.app_data.write_control_file(file);
    EXPECT_EQ(failure_of(locate_app(kFast)), message) << file;
  }
  // A stale address is no reason to launch here.
  folder.app_data.publish(refusing_socket(), "fresh");
  auto handshake = locate_app(kFast);
  ASSERT_TRUE(handshake.has_value()) << handshake.error();
  EXPECT_EQ(handshake->token, "fresh");
}

TEST(LocateApp, NoDataFolder) {
  EnvGuard env;
  for (const char* name : {"APPDATA", "USERPROFILE"}) env.unset(name);
  EXPECT_EQ(failure_of(locate_app(kFast)), "no home directory");
}

}  // namespace
}  // namespace tov::protocol
