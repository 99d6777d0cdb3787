// What the tests share: running a built program with captured streams, temporary folders,
// and an app served from inside the test.
#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace tov::testing {

// The two programs under test, as built beside each other.
std::string program_path();
std::string stand_in_path();

struct ProcessResult {
  int exit_code = -1;
  std::string out;
  std::string err;
  bool timed_out = false;
};

struct RunOptions {
  std::vector<std::string> args;  // after the program path
  // The child's whole environment, "NAME=value" each. Nothing of the test's own leaks in.
  std::vector<std::string> env;
  std::string stdin_bytes;
  std::optional<std::string> cwd;
  std::chrono::milliseconds timeout{60000};
  // POSIX only: the child's ends of its three pipes are non-blocking, as another process
  // that shares a stream may leave them, and for `streams_held` at the start its stdin
  // stays empty and its stdout and stderr unread.
  bool nonblocking_streams = false;
  std::chrono::milliseconds streams_held{0};
};

// Runs `path` to its end (killed after the timeout) and captures stdout and stderr.
ProcessResult run_program(const std::string& path, const RunOptions& options);

// A fresh folder, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Ends a process by id, if it still runs (leftover stand-in apps).
void kill_process(std::uint32_t pid);

// Both ends of one loopback connection; closed sockets when the system has no such loopback.
struct SocketPair {
  platform::Socket client;
  platform::Socket server;
};
SocketPair connected_pair(bool v6 = false);

// "127.0.0.1:PORT" on which nothing listens: a port that was free a moment ago.
std::string refusing_socket();

// The failure text of a result, so that a mismatch prints readably.
template <class T>
std::string failure_of(const std::expected<T, std::string>& result) {
  return result ? std::string("(no failure)") : result.error();
}

}  // namespace tov::testing
