// TCP sockets over the BSD socket interface. Every descriptor is made close-on-exec at
// birth, and sends never raise SIGPIPE, so that a peer that goes away is an error value.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "platform/native-posix.h"
#include "platform/platform.h"

namespace tov::platform {
namespace {

using posix::close_quietly;
using posix::errno_error;
using posix::retry_on_eintr;
using Clock = std::chrono::steady_clock;

struct NativeAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;
};

NativeAddress to_native(const SocketAddress& address) {
  NativeAddress native;
  if (address.is_v6) {
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(address.port);
    v6.sin6_scope_id = address.scope_id;
    std::memcpy(&v6.sin6_addr, address.ip.data(), 16);
    std::memcpy(&native.storage, &v6, sizeof v6);
    native.length = sizeof v6;
  } else {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(address.port);
    std::memcpy(&v4.sin_addr, address.ip.data(), 4);
    std::memcpy(&native.storage, &v4, sizeof v4);
    native.length = sizeof v4;
  }
  return native;
}

IoResult<void> set_nonblocking(int fd, bool on) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags == -1) return std::unexpected(errno_error());
  const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  if (wanted != flags && ::fcntl(fd, F_SETFL, wanted) == -1) return std::unexpected(errno_error());
  return {};
}

// Milliseconds left until `deadline`, rounded up so that a wait never ends early.
int remaining_ms(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 1 << 30));
}

IoResult<void> set_timeout(int fd, int option, std::chrono::milliseconds timeout) {
  timeval tv{};
  if (timeout.count() > 0) {
    tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  }
  if (::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv) == -1) {
    return std::unexpected(errno_error());
  }
  return {};
}

// Waits for a non-blocking connect to finish, as Rust's connect_timeout does.
IoResult<void> finish_connect(int fd, Clock::time_point deadline) {
  for (;;) {
    const int wait = remaining_ms(deadline);
    if (wait == 0) return std::unexpected(IoError{ErrorKind::TimedOut, "connection timed out"});
    pollfd entry{fd, POLLOUT, 0};
    const int ready = ::poll(&entry, 1, wait);
    if (ready == -1) {
      if (errno == EINTR) continue;
      return std::unexpected(errno_error());
    }
    if (ready == 0) continue;  // the next round sees the deadline
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == -1) {
      return std::unexpected(errno_error());
    }
    if (error != 0) return std::unexpected(os_error(error));
    if ((entry.revents & (POLLHUP | POLLERR)) != 0) {
      return std::unexpected(IoError{ErrorKind::Other, "no error set after POLLHUP"});
    }
    return {};
  }
}

}  // namespace

Socket::~Socket() { close(); }

Socket::Socket(Socket&& other) noexcept : native_(std::exchange(other.native_, -1)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    close();
    native_ = std::exchange(other.native_, -1);
  }
  return *this;
}

IoResult<Socket> Socket::connect(const SocketAddress& address, std::chrono::milliseconds timeout) {
  if (timeout.count() <= 0) {
    return std::unexpected(IoError{ErrorKind::InvalidInput, "cannot set a 0 duration timeout"});
  }
  const auto deadline = Clock::now() + timeout;
  const NativeAddress native = to_native(address);
  Socket socket(::socket(native.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  const int fd = static_cast<int>(socket.native());
  if (fd == -1) return std::unexpected(errno_error());
  if (auto set = set_nonblocking(fd, true); !set) return std::unexpected(set.error());
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&native.storage), native.length) == -1) {
    if (errno != EINPROGRESS) return std::unexpected(errno_error());
    if (auto done = finish_connect(fd, deadline); !done) return std::unexpected(done.error());
  }
  if (auto set = set_nonblocking(fd, false); !set) return std::unexpected(set.error());
  return socket;
}

bool Socket::is_open() const { return native_ != -1; }

IoResult<void> Socket::set_receive_timeout(std::chrono::milliseconds timeout) {
  return set_timeout(static_cast<int>(native_), SO_RCVTIMEO, timeout);
}

IoResult<void> Socket::set_send_timeout(std::chrono::milliseconds timeout) {
  return set_timeout(static_cast<int>(native_), SO_SNDTIMEO, timeout);
}

IoResult<Socket> Socket::duplicate() const {
  const int copy = ::fcntl(static_cast<int>(native_), F_DUPFD_CLOEXEC, 3);
  if (copy == -1) return std::unexpected(errno_error());
  return Socket(copy);
}

IoResult<std::size_t> Socket::send(std::string_view bytes) {
  const int fd = static_cast<int>(native_);
  const ssize_t sent =
      retry_on_eintr([&] { return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); });
  if (sent == -1) return std::unexpected(errno_error());
  return static_cast<std::size_t>(sent);
}

IoResult<void> Socket::send_all(std::string_view bytes) {
  while (!bytes.empty()) {
    auto sent = send(bytes);
    if (!sent) return std::unexpected(sent.error());
    if (*sent == 0) return std::unexpected(IoError{ErrorKind::WriteZero, "failed to write whole buffer"});
    bytes.remove_prefix(*sent);
  }
  return {};
}

IoResult<std::size_t> Socket::receive(std::span<char> buffer) {
  const int fd = static_cast<int>(native_);
  const ssize_t got = retry_on_eintr([&] { return ::recv(fd, buffer.data(), buffer.size(), 0); });
  if (got == -1) return std::unexpected(errno_error());
  return static_cast<std::size_t>(got);
}

IoResult<void> Socket::shutdown_write() {
  if (::shutdown(static_cast<int>(native_), SHUT_WR) == -1) return std::unexpected(errno_error());
  return {};
}

void Socket::close_with_reset() {
  if (native_ == -1) return;
  // A zero linger time makes close drop the connection with a reset.
  linger option{1, 0};
  ::setsockopt(static_cast<int>(native_), SOL_SOCKET, SO_LINGER, &option, sizeof option);
  close();
}

void Socket::close() {
  if (native_ == -1) return;
  close_quietly(static_cast<int>(std::exchange(native_, -1)));
}

Listener::~Listener() { close(); }

Listener::Listener(Listener&& other) noexcept
    : native_(std::exchange(other.native_, -1)), port_(std::exchange(other.port_, 0)) {}

Listener& Listener::operator=(Listener&& other) noexcept {
  if (this != &other) {
    close();
    native_ = std::exchange(other.native_, -1);
    port_ = std::exchange(other.port_, 0);
  }
  return *this;
}

IoResult<Listener> Listener::bind_loopback(std::uint16_t port, bool v6) {
  const NativeAddress native = to_native(SocketAddress::loopback(port, v6));
  Listener listener;
  listener.native_ = ::socket(native.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  const int fd = static_cast<int>(listener.native_);
  if (fd == -1) return std::unexpected(errno_error());
  const int on = 1;
  if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == -1 ||
      ::bind(fd, reinterpret_cast<const sockaddr*>(&native.storage), native.length) == -1 ||
      ::listen(fd, 128) == -1) {
    return std::unexpected(errno_error());
  }
  // Non-blocking, so that a client that leaves between poll and accept cannot stall accept.
  if (auto set = set_nonblocking(fd, true); !set) return std::unexpected(set.error());
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) == -1) {
    return std::unexpected(errno_error());
  }
  listener.port_ = ntohs(v6 ? reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port
                            : reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
  return listener;
}

std::uint16_t Listener::port() const { return port_; }

IoResult<Socket> Listener::accept(std::chrono::milliseconds timeout) {
  const int fd = static_cast<int>(native_);
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    pollfd entry{fd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, remaining_ms(deadline));
    if (ready == -1) {
      if (errno == EINTR) continue;
      return std::unexpected(errno_error());
    }
    if (ready == 0) {
      return std::unexpected(IoError{ErrorKind::TimedOut, "no connection arrived in time"});
    }
    // The accepted socket is blocking: accept4 does not pass the listener's O_NONBLOCK on.
    const int accepted = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (accepted != -1) return Socket(accepted);
    // A client that gave up between poll and accept is no reason to stop waiting.
    if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) continue;
    return std::unexpected(errno_error());
  }
}

void Listener::close() {
  if (native_ == -1) return;
  close_quietly(static_cast<int>(std::exchange(native_, -1)));
  port_ = 0;
}

}  // namespace tov::platform
