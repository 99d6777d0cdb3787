// The app that the program starts owes nothing to the program's caller: none of the
// caller's descriptors, and not its session.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/scripted_app.h"
#include "support/test_support.h"

namespace tov::testing {
namespace {

bool same_object(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Waits at most five seconds for the end of the pipe; false when a writer still holds it.
bool reaches_end(int read_fd) {
  pollfd entry{read_fd, POLLIN, 0};
  char byte = 0;
  return ::poll(&entry, 1, 5000) == 1 && ::read(read_fd, &byte, 1) == 0;
}

TEST(LaunchPosix, TheStartedAppHoldsNothingOfItsCaller) {
  AppData app;
  // As a shell or make hands them down: a pipe the caller waits on and an open file, both
  // without close-on-exec.
  int pipe_fds[2];
  ASSERT_EQ(::pipe2(pipe_fds, O_CLOEXEC), 0);
  ASSERT_EQ(::fcntl(pipe_fds[1], F_SETFD, 0), 0);
  const std::string held = platform::join(app.dir(), "held-by-caller");
  const int file_fd = ::open(held.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_NE(file_fd, -1);
  struct stat pipe_stat {}, file_stat {};
  ASSERT_EQ(::fstat(pipe_fds[1], &pipe_stat), 0);
  ASSERT_EQ(::fstat(file_fd, &file_stat), 0);

  auto result = run_quillboard(app, {"status"});
  ::close(pipe_fds[1]);
  ::close(file_fd);
  const bool ended = reaches_end(pipe_fds[0]);
  ::close(pipe_fds[0]);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_TRUE(ended) << "a process started by the program holds the caller's pipe";

  auto handshake = app.handshake();
  ASSERT_TRUE(handshake.has_value());
  const auto pid = static_cast<pid_t>(handshake->pid);
  ASSERT_EQ(app.stand_in_starts(), std::vector<std::uint32_t>{handshake->pid});
  const std::filesystem::path fd_dir = "/proc/" + std::to_string(pid) + "/fd";
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(fd_dir, ec)) {
    struct stat held_stat {};
    if (::stat(entry.path().c_str(), &held_stat) != 0) continue;
    EXPECT_FALSE(same_object(held_stat, pipe_stat)) << entry.path() << " is the caller's pipe";
    EXPECT_FALSE(same_object(held_stat, file_stat)) << entry.path() << " is the caller's file";
  }
  EXPECT_FALSE(ec) << fd_dir << ": " << ec.message();
  for (const char* stream : {"0", "1", "2"}) {
    EXPECT_EQ(std::filesystem::read_symlink(fd_dir / stream, ec), "/dev/null") << stream;
  }
  // A session of its own, which the caller's Ctrl-C and hangup do not reach.
  EXPECT_EQ(::getsid(pid), pid);
  EXPECT_NE(::getsid(pid), ::getsid(0));
}

}  // namespace
}  // namespace tov::testing
