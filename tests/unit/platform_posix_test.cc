// The POSIX side of the platform layer: error texts, path rules, arguments and variables
// as bytes, and what a started process gets.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/env_guard.h"
#include "support/test_support.h"

namespace tov::platform {
namespace {

using namespace std::chrono_literals;

TEST(PlatformPosixErrors, TextsAndKindsFollowErrno) {
  struct Case {
    int code;
    ErrorKind kind;
    const char* message;
  };
  const Case cases[] = {
      {ECONNREFUSED, ErrorKind::ConnectionRefused, "Connection refused (os error 111)"},
      {ENOENT, ErrorKind::NotFound, "No such file or directory (os error 2)"},
      {EAGAIN, ErrorKind::WouldBlock, "Resource temporarily unavailable (os error 11)"},
      {ETIMEDOUT, ErrorKind::TimedOut, "Connection timed out (os error 110)"},
      {EACCES, ErrorKind::PermissionDenied, "Permission denied (os error 13)"},
      {EPERM, ErrorKind::PermissionDenied, "Operation not permitted (os error 1)"},
      {ECONNRESET, ErrorKind::ConnectionReset, "Connection reset by peer (os error 104)"},
      {EPIPE, ErrorKind::BrokenPipe, "Broken pipe (os error 32)"},
      {EINVAL, ErrorKind::InvalidInput, "Invalid argument (os error 22)"},
      {EADDRINUSE, ErrorKind::AddrInUse, "Address already in use (os error 98)"},
      {EEXIST, ErrorKind::AlreadyExists, "File exists (os error 17)"},
      {EISDIR, ErrorKind::Other, "Is a directory (os error 21)"},
  };
  for (const Case& c : cases) {
    const IoError error = os_error(c.code);
    EXPECT_EQ(error.kind, c.kind) << c.message;
    EXPECT_EQ(error.message, c.message);
  }
  errno = ENOENT;
  EXPECT_EQ(last_os_error().message, "No such file or directory (os error 2)");
}

TEST(PlatformPosixErrors, RefusedConnectReadsAsTheSystemSaysIt) {
  std::uint16_t port = 0;
  {
    auto listener = Listener::bind_loopback();
    ASSERT_TRUE(listener.has_value());
    port = listener->port();
  }
  SocketAddress address;
  address.ip = {127, 0, 0, 1};
  address.port = port;
  auto socket = Socket::connect(address, 5s);
  ASSERT_FALSE(socket.has_value());
  EXPECT_EQ(socket.error().message, "Connection refused (os error 111)");
}

TEST(PlatformPosixErrors, FolderReadAndTimedOutReceiveTexts) {
  testing::TempDir temp;
  EXPECT_EQ(read_file(temp.path()).error().message, "Is a directory (os error 21)");

  auto listener = Listener::bind_loopback();
  ASSERT_TRUE(listener.has_value());
  SocketAddress address;
  address.ip = {127, 0, 0, 1};
  address.port = listener->port();
  auto client = Socket::connect(address, 5s);
  ASSERT_TRUE(client.has_value());
  ASSERT_TRUE(client->set_receive_timeout(50ms).has_value());
  char buffer[4];
  auto got = client->receive(buffer);
  ASSERT_FALSE(got.has_value());
  EXPECT_EQ(got.error().kind, ErrorKind::WouldBlock);
  EXPECT_EQ(got.error().message, "Resource temporarily unavailable (os error 11)");
}

TEST(PlatformPosixErrors, ConnectPastItsLimitTimesOut) {
  // A listener whose queue is full drops further handshakes, so a connect waits for its
  // limit. The queue of listen(0) holds one connection.
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_NE(fd, -1);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(::listen(fd, 0), 0);
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
  SocketAddress target;
  target.ip = {127, 0, 0, 1};
  target.port = ntohs(address.sin_port);
  std::vector<Socket> queued;
  IoResult<Socket> socket;
  for (int i = 0; i < 4 && socket; ++i) {
    socket = Socket::connect(target, 300ms);
    if (socket) queued.push_back(std::move(*socket));
  }
  ::close(fd);
  ASSERT_FALSE(socket.has_value());
  EXPECT_EQ(socket.error().kind, ErrorKind::TimedOut);
  EXPECT_EQ(socket.error().message, "connection timed out");
}

TEST(PlatformPosixErrors, AResetReachesThePeerAsConnectionReset) {
  auto listener = Listener::bind_loopback();
  ASSERT_TRUE(listener.has_value());
  SocketAddress address;
  address.ip = {127, 0, 0, 1};
  address.port = listener->port();
  auto client = Socket::connect(address, 5s);
  ASSERT_TRUE(client.has_value());
  auto server = listener->accept(5s);
  ASSERT_TRUE(server.has_value());
  server->close_with_reset();
  char buffer[16];
  auto got = client->receive(buffer);
  ASSERT_FALSE(got.has_value());
  EXPECT_EQ(got.error().kind, ErrorKind::ConnectionReset);
  EXPECT_EQ(got.error().message, "Connection reset by peer (os error 104)");
}

TEST(PlatformPosixPaths, AbsoluteJoinAndParentFollowPosixRules) {
  struct JoinCase {
    const char* base;
    const char* component;
    const char* joined;
  };
  const JoinCase joins[] = {
      {"/home/ann", "doc.txt", "/home/ann/doc.txt"},
      {"/home/ann/", "doc.txt", "/home/ann/doc.txt"},
      {"", "doc.txt", "doc.txt"},
      {"relative", "a b", "relative/a b"},
      {"/home/ann", "/etc/passwd", "/etc/passwd"},
      {"/home/ann", "~/x", "/home/ann/~/x"},
      {"/", "x", "/x"},
      {"base", "", "base/"},
  };
  for (const JoinCase& c : joins) EXPECT_EQ(join(c.base, c.component), c.joined) << c.base;

  struct ParentCase {
    const char* path;
    std::optional<std::string> parent;
  };
  const ParentCase parents[] = {
      {"/a/b", "/a"},      {"/a", "/"},         {"a", ""},          {"/", std::nullopt},
      {"", std::nullopt},  {"a/b/", "a"},       {"a//b", "a"},      {"a/./b", "a"},
      {"./a", "."},        {".", ""},           {"..", ""},         {"/a/b/..", "/a/b"},
      {"//a", "/"},        {"/a/b/.", "/a"},    {"//", std::nullopt},
  };
  for (const ParentCase& c : parents) EXPECT_EQ(parent(c.path), c.parent) << c.path;

  for (const char* path : {"/", "/x", "//server"}) EXPECT_TRUE(is_absolute(path)) << path;
  for (const char* path : {"", "x", "./x", "~/x", "C:\\x", "\\\\server\\share"}) {
    EXPECT_FALSE(is_absolute(path)) << path;
  }
}

TEST(PlatformPosixText, ArgumentsMustBeUtf8) {
  struct Case {
    std::vector<std::string> argv;
    std::string error;
  };
  const Case cases[] = {
      {{"/bin/quillboard", "open", "--path", "caf\xc3\xa9.docx"}, ""},
      {{"/bin/quillboard", "status", "\xff"}, "argument 2 is not valid Unicode"},
      {{"/bin/quillboard", "open", "--path", "\xed\xa0\x80"}, "argument 3 is not valid Unicode"},
      {{"\xc0\xaf", "status"}, "argument 0 is not valid Unicode"},
      {{"/bin/quillboard", "\xf4\x90\x80\x80"}, "argument 1 is not valid Unicode"},
      {{"/bin/quillboard", "\xe2\x82"}, "argument 1 is not valid Unicode"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> texts = c.argv;
    std::vector<char*> argv;
    for (auto& text : texts) argv.push_back(text.data());
    auto result = arguments(static_cast<int>(argv.size()), argv.data());
    if (c.error.empty()) {
      ASSERT_TRUE(result.has_value()) << result.error();
      EXPECT_EQ(*result, c.argv);
    } else {
      ASSERT_FALSE(result.has_value()) << c.error;
      EXPECT_EQ(result.error(), c.error);
    }
  }
}

TEST(PlatformPosixText, VariablesCountAsTextOnlyWhenUtf8) {
  testing::EnvGuard env;
  env.set("TOV_PLATFORM_GOOD", "caf\xc3\xa9");
  env.set("TOV_PLATFORM_EMPTY", "");
  env.set("TOV_PLATFORM_BAD", "caf\xe9");
  env.unset("TOV_PLATFORM_UNSET");
  EXPECT_EQ(env_var("TOV_PLATFORM_GOOD"), "caf\xc3\xa9");
  EXPECT_EQ(env_var("TOV_PLATFORM_EMPTY"), "");
  EXPECT_EQ(env_var("TOV_PLATFORM_BAD"), std::nullopt);
  EXPECT_EQ(env_var("TOV_PLATFORM_UNSET"), std::nullopt);
  EXPECT_EQ(env_path("TOV_PLATFORM_BAD"), "caf\xe9");
  EXPECT_EQ(env_path("TOV_PLATFORM_UNSET"), std::nullopt);
}

TEST(PlatformPosixText, FallbackDataFolder) {
  struct Case {
    std::optional<std::string> xdg;
    std::optional<std::string> home;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"/xdg/data", "/home/ann", "/xdg/data"},
      {"", "/home/ann", "/home/ann/.local/share"},
      {std::nullopt, "/home/ann/", "/home/ann/.local/share"},
      {std::nullopt, std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    testing::EnvGuard env;
    if (c.xdg) env.set("XDG_DATA_HOME", *c.xdg); else env.unset("XDG_DATA_HOME");
    if (c.home) env.set("HOME", *c.home); else env.unset("HOME");
    EXPECT_EQ(fallback_data_dir(), c.expected) << c.xdg.value_or("(unset)") << " " << c.home.value_or("(unset)");
  }
}

class PlatformPosixSpawn : public ::testing::Test {
 protected:
  std::string in_temp(std::string_view name) const { return join(temp_.path(), name); }

  // Writes an executable shell script.
  std::string script(std::string_view name, std::string_view body) const {
    const std::string path = in_temp(name);
    EXPECT_TRUE(write_file_atomic(path, "#!/bin/sh\n" + std::string(body)).has_value());
    ::chmod(path.c_str(), 0755);
    return path;
  }

  // Waits (bounded) until `path` exists and returns its content.
  std::optional<std::string> wait_for(const std::string& path) const {
    for (int i = 0; i < 500; ++i) {
      if (auto bytes = read_file(path)) return *bytes;
      std::this_thread::sleep_for(10ms);
    }
    return std::nullopt;
  }

  testing::TempDir temp_;
};

TEST_F(PlatformPosixSpawn, ExecFailuresComeBackAsErrors) {
  const std::string not_executable = in_temp("plain.txt");
  ASSERT_TRUE(write_file_atomic(not_executable, "just text").has_value());
  auto started = spawn_detached(not_executable);
  ASSERT_FALSE(started.has_value());
  EXPECT_EQ(started.error().message, "Permission denied (os error 13)");
  EXPECT_EQ(spawn_detached(in_temp("missing")).error().message,
            "No such file or directory (os error 2)");
}

TEST_F(PlatformPosixSpawn, ChildGetsNullStreamsOurEnvironmentAndNoneOfOurPipes) {
  testing::EnvGuard env;
  env.set("TOV_PLATFORM_MARK", "passed on");
  const std::string report = in_temp("report");
  // The shell's own streams are read before any redirection of its own changes them.
  const std::string app = script("app.exe",
                                 "streams=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
                                 "r='" + report + ".tmp'\n"
                                 "echo $$ > \"$r\"\n"
                                 "echo \"$streams\" >> \"$r\"\n"
                                 "echo \"$TOV_PLATFORM_MARK\" >> \"$r\"\n"
                                 "echo \"$#\" >> \"$r\"\n"
                                 "mv \"$r\" '" + report + "'\n"
                                 "exec sleep 30\n");
  // A pipe of ours: if the child inherited its write end, our read would not see the end.
  int pipe_fds[2];
  ASSERT_EQ(::pipe2(pipe_fds, O_CLOEXEC), 0);

  ASSERT_TRUE(spawn_detached(app).has_value());
  ::close(pipe_fds[1]);

  // The intermediate process is reaped: no child of ours is left, not even a zombie.
  int status = 0;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);

  const auto lines = wait_for(report);
  ASSERT_TRUE(lines.has_value());
  const auto pid = static_cast<std::uint32_t>(std::stoul(*lines));
  pollfd entry{pipe_fds[0], POLLIN, 0};
  const int ready = ::poll(&entry, 1, 2000);
  char byte = 0;
  const bool ended = ready == 1 && ::read(pipe_fds[0], &byte, 1) == 0;
  ::close(pipe_fds[0]);
  testing::kill_process(pid);

  EXPECT_TRUE(ended) << "the child holds our pipe";
  const std::string rest = lines->substr(lines->find('\n') + 1);
  EXPECT_EQ(rest, "/dev/null\n/dev/null\n/dev/null\npassed on\n0\n");
}

TEST(PlatformPosixRun, RunProgramCapturesStreamsEnvironmentAndExitCode) {
  testing::TempDir temp;
  testing::RunOptions options;
  options.args = {"-c", "cat; echo \"[$ONLY]\" >&2; env | sort | tr '\\n' ','; pwd; exit 3"};
  options.env = {"ONLY=this", "PATH=/usr/bin:/bin"};
  options.stdin_bytes = "from stdin\n";
  options.cwd = temp.path();
  options.timeout = 10s;
  const auto result = testing::run_program("/bin/sh", options);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_code, 3);
  EXPECT_EQ(result.err, "[this]\n");
  // The shell adds PWD (and perhaps SHLVL and _) of its own; nothing of the test's leaks.
  EXPECT_TRUE(result.out.starts_with("from stdin\n")) << result.out;
  EXPECT_NE(result.out.find("ONLY=this,"), std::string::npos);
  EXPECT_EQ(result.out.find("HOME="), std::string::npos) << result.out;
  EXPECT_TRUE(result.out.ends_with(temp.path() + "\n")) << result.out;
}

TEST(PlatformPosixRun, RunProgramFeedsLargeInputAndKillsAfterItsTime) {
  testing::RunOptions copy;
  copy.args = {"-c", "cat"};
  copy.stdin_bytes = std::string(1 << 20, 'q');
  copy.timeout = 20s;
  const auto copied = testing::run_program("/bin/sh", copy);
  EXPECT_EQ(copied.exit_code, 0);
  EXPECT_EQ(copied.out.size(), copy.stdin_bytes.size());

  for (const char* body : {"exec sleep 30", "exec 1>&- 2>&-; exec sleep 30"}) {
    testing::RunOptions slow;
    slow.args = {"-c", body};
    slow.timeout = 300ms;
    const auto started = std::chrono::steady_clock::now();
    const auto result = testing::run_program("/bin/sh", slow);
    EXPECT_TRUE(result.timed_out) << body;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s) << body;
  }
}

TEST(PlatformPosixRun, AProgramThatStartsTheAppStillReturnsAtOnce) {
  // A child that starts a long-lived process through spawn_detached must not keep the
  // streams that run_program reads: the test binary itself plays the program.
  testing::TempDir temp;
  const std::string report = join(temp.path(), "report");
  const std::string app = join(temp.path(), "app.exe");
  ASSERT_TRUE(write_file_atomic(app, "#!/bin/sh\necho $$ > '" + report + ".tmp'\nmv '" + report +
                                         ".tmp' '" + report + "'\nexec sleep 30\n")
                  .has_value());
  ::chmod(app.c_str(), 0755);
  auto self = current_exe();
  ASSERT_TRUE(self.has_value());
  testing::RunOptions options;
  options.args = {"--gtest_filter=PlatformPosixRun.SpawnHelper"};
  options.env = {"TOV_PLATFORM_SPAWN=" + app};
  options.timeout = 10s;
  const auto started = std::chrono::steady_clock::now();
  const auto result = testing::run_program(*self, options);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
  std::optional<std::string> pid;
  for (int i = 0; i < 500 && !pid; ++i) {
    if (auto bytes = read_file(report)) pid = *bytes;
    else std::this_thread::sleep_for(10ms);
  }
  ASSERT_TRUE(pid.has_value());
  testing::kill_process(static_cast<std::uint32_t>(std::stoul(*pid)));
}

// Runs only as the child of the test above, which names the app to start.
TEST(PlatformPosixRun, SpawnHelper) {
  const auto app = env_path("TOV_PLATFORM_SPAWN");
  if (!app) GTEST_SKIP() << "helper of AProgramThatStartsTheAppStillReturnsAtOnce";
  ASSERT_TRUE(spawn_detached(*app).has_value());
}

}  // namespace
}  // namespace tov::platform
