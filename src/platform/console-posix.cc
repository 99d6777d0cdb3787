// The process's own streams and arguments. Standard streams are used as raw descriptors
// 0, 1 and 2: nothing is buffered here, so every write is on its way when it returns.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/native-posix.h"
#include "platform/platform.h"
#include "text/utf8.h"

namespace tov::platform {
namespace {

using posix::errno_error;
using posix::retry_on_eintr;

// A stream closed at start that could not be reserved (no null device), by number. It
// reads as empty and swallows what is written, as the Windows side does for a missing
// handle; its number may since have gone to a file or socket, which must get nothing of it.
bool unreserved[3] = {};

bool would_block(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// Waits until `fd` is ready for `events`. A standard stream can be shared with another
// process that made it non-blocking; its flags are that process's too, so they stay.
IoResult<void> wait_until_ready(int fd, short events) {
  pollfd entry{fd, events, 0};
  const int ready = retry_on_eintr([&] { return ::poll(&entry, 1, -1); });
  if (ready == -1) return std::unexpected(errno_error());
  return {};
}

IoResult<void> write_all(int fd, std::string_view bytes) {
  if (unreserved[fd]) return {};
  while (!bytes.empty()) {
    const ssize_t written = retry_on_eintr([&] { return ::write(fd, bytes.data(), bytes.size()); });
    if (written == -1 && would_block(errno)) {
      if (auto ready = wait_until_ready(fd, POLLOUT); !ready) return ready;
      continue;
    }
    if (written == -1) return std::unexpected(errno_error());
    if (written == 0) return std::unexpected(IoError{ErrorKind::WriteZero, "failed to write whole buffer"});
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

// A standard stream that our caller closed (started with >&-) is given the null device, so
// that its number stays taken: otherwise the next file or socket we open would get it and
// receive what is meant for the stream. These are standard streams, so not close-on-exec.
void reserve_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lower numbers are open by now, so the null device normally lands on `fd` itself.
    const int null_fd = retry_on_eintr([] { return ::open("/dev/null", O_RDWR); });
    if (null_fd == fd) continue;
    unreserved[fd] = null_fd == -1 || ::dup2(null_fd, fd) == -1;
    if (null_fd != -1) ::close(null_fd);
  }
}

}  // namespace

void init_process() {
  reserve_standard_streams();
  // A reader that goes away (a closed pipe on stdout, a peer that closed its socket) and a
  // write past the file-size limit must be errors that we report, not signals that end the
  // process.
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
}

std::expected<std::vector<std::string>, std::string> arguments(int argc, char** argv) {
  std::vector<std::string> texts;
  texts.reserve(argc > 0 ? static_cast<std::size_t>(argc) : 0);
  for (int i = 0; i < argc; ++i) {
    std::string text(argv[i] != nullptr ? argv[i] : "");
    if (!text::is_valid_utf8(text)) {
      return std::unexpected("argument " + std::to_string(i) + " is not valid Unicode");
    }
    texts.push_back(std::move(text));
  }
  return texts;
}

IoResult<std::size_t> read_stdin(std::span<char> buffer) {
  if (unreserved[0]) return 0;
  for (;;) {
    const ssize_t got = retry_on_eintr([&] { return ::read(0, buffer.data(), buffer.size()); });
    if (got == -1 && would_block(errno)) {
      if (auto ready = wait_until_ready(0, POLLIN); !ready) return std::unexpected(ready.error());
      continue;
    }
    if (got == -1) return std::unexpected(errno_error());
    return static_cast<std::size_t>(got);
  }
}

IoResult<void> write_stdout(std::string_view bytes) { return write_all(1, bytes); }
IoResult<void> write_stderr(std::string_view bytes) { return write_all(2, bytes); }

}  // namespace tov::platform
