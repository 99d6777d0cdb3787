// Running programs under test on POSIX: posix_spawn with three pipes, one poll loop that
// feeds stdin and drains stdout and stderr, and a kill when the time is up.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace tov::testing {
namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
  int read = -1;
  int write = -1;
};

void close_fd(int& fd) {
  if (fd != -1) ::close(fd);
  fd = -1;
}

bool make_pipe(Pipe& pipe) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) == -1) return false;
  pipe = {fds[0], fds[1]};
  return true;
}

std::vector<char*> c_strings(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Drains what is ready on `fd` into `out`; closes it at its end.
void drain(int& fd, std::string& out) {
  char buffer[65536];
  const ssize_t got = ::read(fd, buffer, sizeof buffer);
  if (got > 0) {
    out.append(buffer, static_cast<std::size_t>(got));
  } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
    close_fd(fd);
  }
}

// Writes what the pipe takes of `pending`; closes it when all is written or the reader left.
void feed(int& fd, std::string_view& pending) {
  const ssize_t put = ::write(fd, pending.data(), pending.size());
  if (put > 0) pending.remove_prefix(static_cast<std::size_t>(put));
  if (pending.empty() || (put == -1 && errno != EINTR && errno != EAGAIN)) close_fd(fd);
}

int exit_code_of(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

ProcessResult run_program(const std::string& path, const RunOptions& options) {
  // A child that stops reading its stdin must not take the test down with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  ProcessResult result;
  Pipe in, out, err;
  if (!make_pipe(in) || !make_pipe(out) || !make_pipe(err)) {
    result.err = std::string("pipe: ") + std::strerror(errno);
    for (Pipe* p : {&in, &out, &err}) close_fd(p->read), close_fd(p->write);
    return result;
  }
  if (options.nonblocking_streams) {
    for (int fd : {in.read, out.write, err.write}) ::fcntl(fd, F_SETFL, O_NONBLOCK);
  }
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, in.read, 0);
  ::posix_spawn_file_actions_adddup2(&actions, out.write, 1);
  ::posix_spawn_file_actions_adddup2(&actions, err.write, 2);
  if (options.cwd) ::posix_spawn_file_actions_addchdir_np(&actions, options.cwd->c_str());
  std::vector<std::string> argv_texts{path};
  argv_texts.insert(argv_texts.end(), options.args.begin(), options.args.end());
  std::vector<std::string> env_texts = options.env;
  std::vector<char*> argv = c_strings(argv_texts);
  std::vector<char*> envp = c_strings(env_texts);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
  ::posix_spawn_file_actions_destroy(&actions);
  close_fd(in.read);
  close_fd(out.write);
  close_fd(err.write);
  if (spawned != 0) {
    result.err = "could not start " + path + ": " + std::strerror(spawned);
    close_fd(in.write), close_fd(out.read), close_fd(err.read);
    return result;
  }

  ::fcntl(in.write, F_SETFL, O_NONBLOCK);
  std::string_view pending = options.stdin_bytes;
  if (pending.empty()) close_fd(in.write);
  const auto deadline = Clock::now() + options.timeout;
  std::this_thread::sleep_for(options.streams_held);
  while (out.read != -1 || err.read != -1) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      result.timed_out = true;
      break;
    }
    pollfd fds[3] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}, {in.write, POLLOUT, 0}};
    const int ready = ::poll(fds, 3, static_cast<int>(std::min<std::int64_t>(left.count(), 1000)));
    if (ready <= 0) continue;
    if (fds[0].revents != 0) drain(out.read, result.out);
    if (fds[1].revents != 0) drain(err.read, result.err);
    if (fds[2].revents != 0) feed(in.write, pending);
  }
  close_fd(in.write);
  close_fd(out.read);
  close_fd(err.read);
  // A child may close its streams and go on running: its exit is awaited within the same
  // time. Killing an exited, unreaped child is harmless: its id is not reused before waitpid.
  int status = 0;
  for (;;) {
    if (!result.timed_out && Clock::now() >= deadline) result.timed_out = true;
    if (result.timed_out) ::kill(pid, SIGKILL);
    const pid_t done = ::waitpid(pid, &status, result.timed_out ? 0 : WNOHANG);
    if (done == pid || (done == -1 && errno != EINTR)) break;
    if (done == 0) ::usleep(2000);
  }
  result.exit_code = exit_code_of(status);
  return result;
}

void kill_process(std::uint32_t pid) {
  if (pid > 1) ::kill(static_cast<pid_t>(pid), SIGKILL);
}

}  // namespace tov::testing
