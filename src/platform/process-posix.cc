// Starting the app as a process of its own. A double fork hands the app to init at once,
// so that no zombie is left even in a long-running MCP server; a close-on-exec pipe brings
// an exec failure back from the grandchild as our error.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/native-posix.h"
#include "platform/platform.h"

extern char** environ;

namespace tov::platform {
namespace {

using posix::close_quietly;
using posix::errno_error;
using posix::retry_on_eintr;

// Everything below runs between fork and exec, so it keeps to async-signal-safe calls.
[[noreturn]] void report_and_exit(int report_fd, int code) {
  [[maybe_unused]] const ssize_t ignored = ::write(report_fd, &code, sizeof code);
  ::_exit(127);
}

[[noreturn]] void become_app(const char* path, int null_fd, int report_fd) {
  // The app starts with a clean slate: default SIGPIPE (ignored ones stay ignored across
  // exec) and no blocked signals.
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &default_action, nullptr);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int stream = 0; stream < 3; ++stream) {
    if (::dup2(null_fd, stream) == -1) report_and_exit(report_fd, errno);
  }
  char* const argv[] = {const_cast<char*>(path), nullptr};
  ::execve(path, argv, environ);
  report_and_exit(report_fd, errno);
}

[[noreturn]] void run_intermediate(const char* path, int null_fd, int report_fd) {
  const pid_t grandchild = ::fork();
  if (grandchild == -1) report_and_exit(report_fd, errno);
  if (grandchild == 0) become_app(path, null_fd, report_fd);
  ::_exit(0);
}

// The errno that the grandchild sent, or 0 when the pipe closed empty (exec succeeded).
IoResult<int> read_report(int read_fd) {
  int code = 0;
  std::size_t got = 0;
  while (got < sizeof code) {
    const ssize_t n = retry_on_eintr(
        [&] { return ::read(read_fd, reinterpret_cast<char*>(&code) + got, sizeof code - got); });
    if (n == -1) return std::unexpected(errno_error());
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got == sizeof code ? code : 0;
}

// Moves a descriptor above the three standard numbers (when one of our own streams was
// closed, the system hands those out), so that the dup2 calls cannot overwrite it.
int above_standard(int fd) {
  if (fd == -1 || fd > 2) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close_quietly(fd);
  return moved;
}

}  // namespace

IoResult<void> spawn_detached(const std::string& path) {
  const int null_fd =
      above_standard(retry_on_eintr([] { return ::open("/dev/null", O_RDWR | O_CLOEXEC); }));
  if (null_fd == -1) return std::unexpected(errno_error());
  int report[2];
  if (::pipe2(report, O_CLOEXEC) == -1) {
    const IoError error = errno_error();
    close_quietly(null_fd);
    return std::unexpected(error);
  }
  report[0] = above_standard(report[0]);
  report[1] = above_standard(report[1]);
  if (report[0] == -1 || report[1] == -1) {
    const IoError error = errno_error();
    close_quietly(null_fd);
    close_quietly(report[0]);
    close_quietly(report[1]);
    return std::unexpected(error);
  }
  const pid_t child = ::fork();
  if (child == 0) run_intermediate(path.c_str(), null_fd, report[1]);
  const int fork_errno = errno;
  close_quietly(report[1]);
  close_quietly(null_fd);
  if (child == -1) {
    close_quietly(report[0]);
    return std::unexpected(os_error(fork_errno));
  }
  int status = 0;
  retry_on_eintr([&] { return ::waitpid(child, &status, 0); });
  const IoResult<int> code = read_report(report[0]);
  close_quietly(report[0]);
  if (!code) return std::unexpected(code.error());
  if (*code != 0) return std::unexpected(os_error(*code));
  return {};
}

std::uint32_t process_id() { return static_cast<std::uint32_t>(::getpid()); }

}  // namespace tov::platform
