// Starting the app as a process of its own. A double fork hands the app to init at once,
// so that no zombie is left even in a long-running MCP server; a close-on-exec pipe brings
// an exec failure back from the grandchild as our error.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
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

// Closes every descriptor from `first` to `last`. Kernels before 5.9 lack close_range and
// some sandboxes refuse it; then each number up to the highest open one is closed in turn.
void close_descriptors(unsigned first, unsigned last, unsigned highest) {
  if (first > last) return;
#ifdef SYS_close_range
  if (::syscall(SYS_close_range, first, last, 0u) == 0) return;
#endif
  for (unsigned fd = first; fd <= last && fd <= highest; ++fd) ::close(static_cast<int>(fd));
}

[[noreturn]] void become_app(const char* path, int null_fd, int report_fd, unsigned highest) {
  // The app outlives the script that called us: a session of its own keeps the script's
  // Ctrl-C and hangup away from it.
  if (::setsid() == -1) report_and_exit(report_fd, errno);
  // The app starts with a clean slate: every signal at its default (an ignored one stays
  // ignored across exec, as under nohup or a service manager, and an ignored SIGCHLD would
  // even break waitpid for the app's own children) and none blocked. SIGKILL, SIGSTOP and
  // the C library's own signals refuse the change, harmlessly.
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  for (int number = 1; number < _NSIG; ++number) ::sigaction(number, &default_action, nullptr);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int stream = 0; stream < 3; ++stream) {
    if (::dup2(null_fd, stream) == -1) report_and_exit(report_fd, errno);
  }
  // Descriptors that our own caller handed us without close-on-exec (a make job server, a
  // pipe the caller waits on for its end) must not live on in the app. The report pipe is
  // close-on-exec already and has to stay open until the exec.
  const auto report = static_cast<unsigned>(report_fd);
  close_descriptors(3, report - 1, highest);
  close_descriptors(report + 1, ~0u, highest);
  char* const argv[] = {const_cast<char*>(path), nullptr};
  ::execve(path, argv, environ);
  report_and_exit(report_fd, errno);
}

[[noreturn]] void run_intermediate(const char* path, int null_fd, int report_fd, unsigned highest) {
  const pid_t grandchild = ::fork();
  if (grandchild == -1) report_and_exit(report_fd, errno);
  if (grandchild == 0) become_app(path, null_fd, report_fd, highest);
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

// The kernel's default ceiling for descriptors (fs.nr_open). A hard limit that is unlimited
// or higher is taken as this: closing a billion numbers one by one would take minutes.
constexpr unsigned kCeiling = 1u << 20;

// The highest descriptor that may be open, asked before the fork: neither a directory
// listing nor getrlimit is safe between fork and exec. /proc lists what is open, however
// far above the soft limit (a caller may open descriptor 1000 and then lower it to 64);
// without /proc, nothing lies above the hard limit.
unsigned highest_descriptor() {
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    const int own = ::dirfd(dir);
    int highest = -1;
    bool listed = false;
    while (const dirent* entry = ::readdir(dir)) {
      int fd = -1;
      const char* end = entry->d_name + std::strlen(entry->d_name);
      auto [stop, error] = std::from_chars(entry->d_name, end, fd);
      if (error != std::errc{} || stop != end) continue;
      listed = true;
      if (fd != own) highest = std::max(highest, fd);
    }
    ::closedir(dir);
    // An empty listing is no listing: /proc of another kind, or a stand-in for it.
    if (listed) return highest < 0 ? 0u : static_cast<unsigned>(highest);
  }
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_max != RLIM_INFINITY &&
      limit.rlim_max > 0 && limit.rlim_max <= kCeiling) {
    return static_cast<unsigned>(limit.rlim_max - 1);
  }
  return kCeiling - 1;
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
  const unsigned highest = highest_descriptor();
  const pid_t child = ::fork();
  if (child == 0) run_intermediate(path.c_str(), null_fd, report[1], highest);
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
