// An app served from inside a test: it publishes a control file in a temporary APPDATA and
// answers each connection as the test scripted it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli_protocol/records.h"
#include "support/test_support.h"

namespace tov::testing {

// How to treat one connection once its request line has arrived: wait `delay`, send `bytes`
// (include the line feed yourself), then each piece after its pause, then `filler` again and
// again until `filler_cap` bytes are out or the program goes; then close.
struct Reply {
  std::string bytes;
  std::chrono::milliseconds delay{0};
  // Close at once, without a word.
  bool close_without_answer = false;
  // Close with a connection reset instead of an orderly close.
  bool reset = false;
  std::vector<std::pair<std::chrono::milliseconds, std::string>> pieces = {};
  std::string filler = {};
  std::size_t filler_cap = 0;
};

// Listens on 127.0.0.1 (or [::1]) on a thread of its own and answers connections in order:
// the n-th connection gets replies[n], and the last reply repeats. Stops and joins when
// destroyed; never outlives the test.
class ScriptedApp {
 public:
  explicit ScriptedApp(std::vector<Reply> replies, bool v6 = false);
  ~ScriptedApp();
  ScriptedApp(const ScriptedApp&) = delete;
  ScriptedApp& operator=(const ScriptedApp&) = delete;

  // "127.0.0.1:PORT" or "[::1]:PORT".
  std::string socket_text() const;
  // The request lines received so far, without their line feed, in order.
  std::vector<std::string> requests() const;
  // Connections accepted so far (a probe that sends nothing counts too).
  int connections() const;
  // Stops serving and waits until every connection is done with.
  void stop();
  // The bytes sent over all connections so far, or in all once stopped.
  std::size_t bytes_sent() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A temporary APPDATA folder and the environment a child program gets.
class AppData {
 public:
  AppData();
  // Ends every stand-in app that a program run with env() started and that still runs.
  ~AppData();
  AppData(const AppData&) = delete;
  AppData& operator=(const AppData&) = delete;
  // The APPDATA value.
  const std::string& dir() const { return temp_.path(); }
  // dir / com.vantix.office / cli-control.json
  std::string control_file() const;
  void write_control_file(std::string_view text) const;
  // The control file as it stands, when it reads.
  std::optional<protocol::Handshake> handshake() const;
  // Writes a version-3 control file naming `socket`.
  void publish(std::string_view socket, std::string_view token = "test-token",
               std::uint32_t pid = 4242) const;
  // A minimal environment: PATH, APPDATA=dir() and `extra` ("NAME=value" each). No agent
  // variables of the machine running the tests leak in.
  // The stand-in's own test settings (a pid folder, a backstop idle time) come along too;
  // an `extra` entry replaces one of the same name.
  std::vector<std::string> env(const std::vector<std::string>& extra = {}) const;
  // The process ids of the stand-in apps started with env() so far, in ascending order.
  std::vector<std::uint32_t> stand_in_starts() const;
  // Those of them that have ended by themselves.
  std::vector<std::uint32_t> stand_in_exits() const;

 private:
  TempDir temp_;
};

// Runs the program under test with `args`, the environment of `app_data` plus `extra_env`.
ProcessResult run_quillboard(const AppData& app_data, const std::vector<std::string>& args,
                             const std::vector<std::string>& extra_env = {},
                             std::string stdin_bytes = {});

}  // namespace tov::testing
