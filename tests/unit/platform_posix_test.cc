// The POSIX side of the platform layer: error texts, path rules, arguments and variables
// as bytes, and what a started process gets.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
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

TEST(PlatformPosixErrors, ATimedOutReceiveAndAResetReadAsTheSystemSaysThem) {
  auto pair = testing::connected_pair();
  ASSERT_TRUE(pair.client.set_receive_timeout(50ms).has_value());
  char buffer[16];
  auto got = pair.client.receive(buffer);
  ASSERT_FALSE(got.has_value());
  EXPECT_EQ(got.error().kind, ErrorKind::WouldBlock);
  EXPECT_EQ(got.error().message, "Resource temporarily unavailable (os error 11)");

  pair.server.close_with_reset();
  got = pair.client.receive(buffer);
  ASSERT_FALSE(got.has_value());
  EXPECT_EQ(got.error().kind, ErrorKind::ConnectionReset);
  EXPECT_EQ(got.error().message, "Connection reset by peer (os error 104)");
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
  std::vector<Socket> queued;
  IoResult<Socket> socket;
  for (int i = 0; i < 4 && socket; ++i) {
    socket = Socket::connect(SocketAddress::loopback(ntohs(address.sin_port)), 300ms);
    if (socket) queued.push_back(std::move(*socket));
  }
  ::close(fd);
  ASSERT_FALSE(socket.has_value());
  EXPECT_EQ(socket.error().kind, ErrorKind::TimedOut);
  EXPECT_EQ(socket.error().message, "connection timed out");
}

TEST(PlatformPosixPaths, AbsoluteJoinAndParentFollowPosixRules) {
  const std::tuple<const char*, const char*, const char*> joins[] = {
      {"/home/ann", "doc.txt", "/home/ann/doc.txt"}, {"/home/ann/", "doc.txt", "/home/ann/doc.txt"},
      {"", "doc.txt", "doc.txt"},                    {"relative", "a b", "relative/a b"},
      {"/home/ann", "/etc/passwd", "/etc/passwd"},   {"/home/ann", "~/x", "/home/ann/~/x"},
      {"/", "x", "/x"},                              {"base", "", "base/"},
  };
  for (const auto& [base, component, joined] : joins) EXPECT_EQ(join(base, component), joined) << base;

  const std::pair<const char*, std::optional<std::string>> parents[] = {
      {"/a/b", "/a"},     {"/a", "/"},        {"a", ""},          {"/", std::nullopt},
      {"", std::nullopt}, {"a/b/", "a"},      {"a//b", "a"},      {"a/./b", "a"},
      {"./a", "."},       {".", ""},          {"..", ""},         {"/a/b/..", "/a/b"},
      {"//a", "/"},       {"/a/b/.", "/a"},   {"//", std::nullopt},
  };
  for (const auto& [path, expected] : parents) EXPECT_EQ(parent(path), expected) << path;

  for (const char* path : {"/", "/x", "//server"}) EXPECT_TRUE(is_absolute(path)) << path;
  for (const char* path : {"", "x", "./x", "~/x", "C:\\x", "\\\\server\\share"}) {
    EXPECT_FALSE(is_absolute(path)) << path;
  }
}

TEST(PlatformPosixText, ArgumentsMustBeUtf8) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"/bin/quillboard", "open", "--path", "caf\xc3\xa9.docx"}, ""},
      {{"/bin/quillboard", "status", "\xff"}, "argument 2 is not valid Unicode"},
      {{"/bin/quillboard", "open", "--path", "\xed\xa0\x80"}, "argument 3 is not valid Unicode"},
      {{"\xc0\xaf", "status"}, "argument 0 is not valid Unicode"},
      {{"/bin/quillboard", "\xf4\x90\x80\x80"}, "argument 1 is not valid Unicode"},
      {{"/bin/quillboard", "\xe2\x82"}, "argument 1 is not valid Unicode"},
  };
  for (const auto& [given, error] : cases) {
    std::vector<std::string> texts = given;
    std::vector<char*> argv;
    for (auto& text : texts) argv.push_back(text.data());
    auto result = arguments(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(result ? "" : result.error(), error);
    if (result) {
      EXPECT_EQ(*result, given);
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

TEST(PlatformPosixSpawn, ExecFailuresComeBackAsErrors) {
  testing::TempDir temp;
  const std::string not_executable = join(temp.path(), "plain.txt");
  ASSERT_TRUE(write_file_atomic(not_executable, "just text").has_value());
  EXPECT_EQ(spawn_detached(not_executable).error().message, "Permission denied (os error 13)");
  EXPECT_EQ(spawn_detached(join(temp.path(), "missing")).error().message,
            "No such file or directory (os error 2)");
}

TEST(PlatformPosixSpawn, ChildGetsNullStreamsOurEnvironmentAndNoneOfOurPipes) {
  testing::TempDir temp;
  testing::EnvGuard env;
  env.set("TOV_PLATFORM_MARK", "passed on");
  const std::string report = join(temp.path(), "report");
  const std::string app = join(temp.path(), "app.exe");
  // The shell's own streams are read before any redirection of its own changes them.
  ASSERT_TRUE(write_file_atomic(app, "#!/bin/sh\n"
                                     "streams=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
                                     "r='" + report + ".tmp'\n"
                                     "echo $$ > \"$r\"\n"
                                     "echo \"$streams\" >> \"$r\"\n"
                                     "echo \"$TOV_PLATFORM_MARK\" >> \"$r\"\n"
                                     "echo \"$#\" >> \"$r\"\n"
                                     "mv \"$r\" '" + report + "'\n"
                                     "exec sleep 30\n")
                  .has_value());
  ::chmod(app.c_str(), 0755);
  // A pipe of ours whose write end is inheritable, as a caller's often are: if the child
  // kept it, our read would not see the end.
  int pipe_fds[2];
  ASSERT_EQ(::pipe2(pipe_fds, O_CLOEXEC), 0);
  ASSERT_EQ(::fcntl(pipe_fds[1], F_SETFD, 0), 0);

  ASSERT_TRUE(spawn_detached(app).has_value());
  ::close(pipe_fds[1]);

  // The intermediate process is reaped: no child of ours is left, not even a zombie.
  int status = 0;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);

  std::optional<std::string> lines;
  for (int i = 0; i < 500 && !lines; ++i) {
    if (auto bytes = read_file(report)) lines = *bytes;
    else std::this_thread::sleep_for(10ms);
  }
  ASSERT_TRUE(lines.has_value());
  pollfd entry{pipe_fds[0], POLLIN, 0};
  const int ready = ::poll(&entry, 1, 2000);
  char byte = 0;
  const bool ended = ready == 1 && ::read(pipe_fds[0], &byte, 1) == 0;
  ::close(pipe_fds[0]);
  testing::kill_process(static_cast<std::uint32_t>(std::stoul(*lines)));

  EXPECT_TRUE(ended) << "the child holds our pipe";
  EXPECT_EQ(lines->substr(lines->find('\n') + 1), "/dev/null\n/dev/null\n/dev/null\npassed on\n0\n");
}

}  // namespace
}  // namespace tov::platform
