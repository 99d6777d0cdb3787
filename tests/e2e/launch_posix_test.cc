// The app that the program starts owes nothing to the program's caller: none of the
// caller's descriptors, signal settings or session.
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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

// The exit code of a forked caller that could not prepare itself.
constexpr int kNotPrepared = 125;

// How a caller sets itself up between fork and exec, with async-signal-safe calls only;
// false when it cannot. `fd` is whatever descriptor the test hands it.
using Preparation = bool (*)(int fd);

// The exit code of `quillboard status`, run with its streams on the null device from a
// forked caller that prepares itself first; -1 when it does not end within a minute.
int status_from_caller(const AppData& app, Preparation prepare, int fd = -1) {
  // All of it is built before the fork: a child may not allocate.
  std::vector<std::string> argv_texts{program_path(), "status"}, env_texts = app.env();
  std::vector<char*> argv, envp;
  for (auto& text : argv_texts) argv.push_back(text.data());
  for (auto& text : env_texts) envp.push_back(text.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  const int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t pid = null_fd == -1 ? -1 : ::fork();
  if (pid == 0) {
    for (int stream = 0; stream < 3; ++stream) {
      if (::dup2(null_fd, stream) == -1) ::_exit(kNotPrepared);
    }
    if (!prepare(fd)) ::_exit(kNotPrepared);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  if (null_fd != -1) ::close(null_fd);
  int status = 0;
  for (int waited_ms = 0; pid != -1 && ::waitpid(pid, &status, WNOHANG) == 0; waited_ms += 5) {
    if (waited_ms > 60000) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pid != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A line of /proc/PID/status, such as "SigIgn", as its hexadecimal mask.
std::optional<unsigned long long> status_mask(pid_t pid, const std::string& name) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(file, line);) {
    if (line.starts_with(name + ":")) return std::stoull(line.substr(name.size() + 1), nullptr, 16);
  }
  return std::nullopt;
}

unsigned long long bit(int signal) { return 1ull << (signal - 1); }

// A caller that ignores and blocks what nohup, `sh -c 'cmd &'` and service managers do, and
// a real-time signal besides.
bool ignore_and_block(int) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGCHLD, SIGRTMIN + 1}) {
    if (::sigaction(signal, &ignore, nullptr) != 0) return false;
  }
  sigset_t blocked;
  ::sigemptyset(&blocked);
  for (int signal : {SIGUSR1, SIGUSR2, SIGTERM, SIGALRM, SIGRTMIN + 1}) ::sigaddset(&blocked, signal);
  return ::sigprocmask(SIG_BLOCK, &blocked, nullptr) == 0;
}

bool as_it_is(int) { return true; }

TEST(LaunchPosix, TheStartedAppHasNoneOfItsCallersSignalSettings) {
  const struct {
    const char* name;
    Preparation prepare;
  } callers[] = {{"a plain caller", as_it_is}, {"a caller that ignores and blocks", ignore_and_block}};
  for (const auto& caller : callers) {
    SCOPED_TRACE(caller.name);
    AppData app;
    ASSERT_EQ(status_from_caller(app, caller.prepare), 0);
    auto handshake = app.handshake();
    ASSERT_TRUE(handshake.has_value());
    const auto pid = static_cast<pid_t>(handshake->pid);
    // The app ignores SIGPIPE and SIGXFSZ itself, as the program does; everything else is
    // its default.
    EXPECT_EQ(status_mask(pid, "SigIgn"), bit(SIGPIPE) | bit(SIGXFSZ));
    EXPECT_EQ(status_mask(pid, "SigBlk"), 0u);
  }
}

// The system-call numbers that the sandbox below matches are those of this architecture.
#if defined(__x86_64__)
#define TOV_AUDIT_ARCH AUDIT_ARCH_X86_64
#elif defined(__aarch64__)
#define TOV_AUDIT_ARCH AUDIT_ARCH_AARCH64
#endif

#if defined(TOV_AUDIT_ARCH) && defined(__NR_close_range)

// A caller that hands down `fd` as descriptor 1000, lowers both its descriptor limits to 64
// (as `ulimit -n 64` does) and runs under a sandbox that refuses close_range, as on kernels
// before 5.9.
bool high_descriptor_without_close_range(int fd) {
  if (::dup2(fd, 1000) == -1) return false;
  const rlimit limit{64, 64};
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, TOV_AUDIT_ARCH, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_close_range, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (ENOSYS & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

TEST(LaunchPosix, AHighDescriptorIsClosedWhereCloseRangeIsRefused) {
  AppData app;
  int pipe_fds[2];
  ASSERT_EQ(::pipe2(pipe_fds, O_CLOEXEC), 0);
  const int exit_code = status_from_caller(app, high_descriptor_without_close_range, pipe_fds[1]);
  ::close(pipe_fds[1]);
  const bool ended = reaches_end(pipe_fds[0]);
  ::close(pipe_fds[0]);
  if (exit_code == kNotPrepared) GTEST_SKIP() << "this system refuses the caller's sandbox";
  ASSERT_EQ(exit_code, 0);
  EXPECT_TRUE(ended) << "the started app holds the caller's descriptor 1000";

  auto handshake = app.handshake();
  ASSERT_TRUE(handshake.has_value());
  // Past the three streams, only what the app opened itself: those are close-on-exec,
  // while nothing inherited through an exec can be.
  const std::string proc = "/proc/" + std::to_string(handshake->pid);
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(proc + "/fd", ec)) {
    const std::string name = entry.path().filename().string();
    if (name == "0" || name == "1" || name == "2") continue;
    std::ifstream info(proc + "/fdinfo/" + name);
    for (std::string line; std::getline(info, line);) {
      if (!line.starts_with("flags:")) continue;
      const auto flags = std::stoul(line.substr(6), nullptr, 8);
      EXPECT_NE(flags & O_CLOEXEC, 0u) << "descriptor " << name << " came from the caller";
    }
  }
  EXPECT_FALSE(ec) << proc << ": " << ec.message();
}
#endif

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
