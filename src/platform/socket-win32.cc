// TCP sockets over Winsock. Sockets are created without handle inheritance, so that a
// started app holds none of our connections.
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/native-win32.h"

namespace tov::platform {
namespace {

using win32::last_socket_error;
using Clock = std::chrono::steady_clock;

constexpr DWORD kSocketFlags = WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT;

// Winsock must be started once per process before the first socket call.
IoResult<void> ensure_winsock() {
  static const int started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0) return std::unexpected(os_error(started));
  return {};
}

SOCKET as_socket(std::intptr_t native) { return static_cast<SOCKET>(native); }
std::intptr_t as_native(SOCKET socket) { return static_cast<std::intptr_t>(socket); }

struct NativeAddress {
  sockaddr_storage storage{};
  int length = 0;
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

IoResult<void> set_nonblocking(SOCKET socket, bool on) {
  u_long mode = on ? 1 : 0;
  if (::ioctlsocket(socket, FIONBIO, &mode) == SOCKET_ERROR) {
    return std::unexpected(last_socket_error());
  }
  return {};
}

IoResult<void> set_timeout(SOCKET socket, int option, std::chrono::milliseconds timeout) {
  const auto ms = static_cast<DWORD>(std::clamp<std::int64_t>(timeout.count(), 0, INT_MAX));
  if (::setsockopt(socket, SOL_SOCKET, option, reinterpret_cast<const char*>(&ms), sizeof ms) ==
      SOCKET_ERROR) {
    return std::unexpected(last_socket_error());
  }
  return {};
}

timeval remaining(Clock::time_point deadline) {
  const auto left = std::max(std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now()),
                             std::chrono::microseconds(0));
  timeval tv{};
  tv.tv_sec = static_cast<long>(left.count() / 1000000);
  tv.tv_usec = static_cast<long>(left.count() % 1000000);
  return tv;
}

// Waits for a non-blocking connect to finish. select with an error set tells a refusal
// apart from success, which WSAPoll does not do reliably everywhere.
IoResult<void> finish_connect(SOCKET socket, Clock::time_point deadline) {
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket, &writable);
  FD_SET(socket, &failed);
  timeval tv = remaining(deadline);
  const int ready = ::select(0, nullptr, &writable, &failed, &tv);
  if (ready == SOCKET_ERROR) return std::unexpected(last_socket_error());
  if (ready == 0) return std::unexpected(IoError{ErrorKind::TimedOut, "connection timed out"});
  if (FD_ISSET(socket, &failed)) {
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) ==
        SOCKET_ERROR) {
      return std::unexpected(last_socket_error());
    }
    if (error != 0) return std::unexpected(os_error(error));
  }
  return {};
}

IoResult<SOCKET> new_socket(int family) {
  if (auto started = ensure_winsock(); !started) return std::unexpected(started.error());
  const SOCKET socket = ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, kSocketFlags);
  if (socket == INVALID_SOCKET) return std::unexpected(last_socket_error());
  return socket;
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
  auto created = new_socket(native.storage.ss_family);
  if (!created) return std::unexpected(created.error());
  Socket socket(as_native(*created));
  if (auto set = set_nonblocking(*created, true); !set) return std::unexpected(set.error());
  if (::connect(*created, reinterpret_cast<const sockaddr*>(&native.storage), native.length) ==
      SOCKET_ERROR) {
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return std::unexpected(last_socket_error());
    if (auto done = finish_connect(*created, deadline); !done) return std::unexpected(done.error());
  }
  if (auto set = set_nonblocking(*created, false); !set) return std::unexpected(set.error());
  return socket;
}

bool Socket::is_open() const { return native_ != -1; }

IoResult<void> Socket::set_receive_timeout(std::chrono::milliseconds timeout) {
  return set_timeout(as_socket(native_), SO_RCVTIMEO, timeout);
}

IoResult<void> Socket::set_send_timeout(std::chrono::milliseconds timeout) {
  return set_timeout(as_socket(native_), SO_SNDTIMEO, timeout);
}

IoResult<Socket> Socket::duplicate() const {
  // A DuplicateHandle copy is not a socket everywhere; Winsock's own duplication is.
  WSAPROTOCOL_INFOW info{};
  if (::WSADuplicateSocketW(as_socket(native_), ::GetCurrentProcessId(), &info) == SOCKET_ERROR) {
    return std::unexpected(last_socket_error());
  }
  const SOCKET copy = ::WSASocketW(info.iAddressFamily, info.iSocketType, info.iProtocol, &info, 0,
                                   kSocketFlags);
  if (copy == INVALID_SOCKET) return std::unexpected(last_socket_error());
  return Socket(as_native(copy));
}

IoResult<std::size_t> Socket::send(std::string_view bytes) {
  const int length = static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX));
  for (;;) {
    const int sent = ::send(as_socket(native_), bytes.data(), length, 0);
    if (sent != SOCKET_ERROR) return static_cast<std::size_t>(sent);
    if (::WSAGetLastError() != WSAEINTR) return std::unexpected(last_socket_error());
  }
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
  const int length = static_cast<int>(std::min<std::size_t>(buffer.size(), INT_MAX));
  for (;;) {
    const int got = ::recv(as_socket(native_), buffer.data(), length, 0);
    if (got != SOCKET_ERROR) return static_cast<std::size_t>(got);
    const int error = ::WSAGetLastError();
    // A connection whose reading side was shut down reads as ended, as on POSIX.
    if (error == WSAESHUTDOWN) return 0;
    if (error != WSAEINTR) return std::unexpected(os_error(error));
  }
}

IoResult<void> Socket::shutdown_write() {
  if (::shutdown(as_socket(native_), SD_SEND) == SOCKET_ERROR) {
    return std::unexpected(last_socket_error());
  }
  return {};
}

void Socket::close_with_reset() {
  if (native_ == -1) return;
  // A zero linger time makes closesocket drop the connection with a reset.
  linger option{1, 0};
  ::setsockopt(as_socket(native_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option),
               sizeof option);
  close();
}

void Socket::close() {
  if (native_ == -1) return;
  ::closesocket(as_socket(std::exchange(native_, -1)));
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
  auto created = new_socket(native.storage.ss_family);
  if (!created) return std::unexpected(created.error());
  Listener listener;
  listener.native_ = as_native(*created);
  // No SO_REUSEADDR: on Windows it would let another socket take over a bound port.
  if (::bind(*created, reinterpret_cast<const sockaddr*>(&native.storage), native.length) ==
          SOCKET_ERROR ||
      ::listen(*created, SOMAXCONN) == SOCKET_ERROR) {
    return std::unexpected(last_socket_error());
  }
  sockaddr_storage bound{};
  int length = sizeof bound;
  if (::getsockname(*created, reinterpret_cast<sockaddr*>(&bound), &length) == SOCKET_ERROR) {
    return std::unexpected(last_socket_error());
  }
  listener.port_ = ntohs(v6 ? reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port
                            : reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
  // Non-blocking, so that a client that leaves between select and accept cannot stall accept.
  if (auto set = set_nonblocking(*created, true); !set) return std::unexpected(set.error());
  return listener;
}

std::uint16_t Listener::port() const { return port_; }

IoResult<Socket> Listener::accept(std::chrono::milliseconds timeout) {
  const SOCKET listening = as_socket(native_);
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listening, &readable);
    timeval tv = remaining(deadline);
    const int ready = ::select(0, &readable, nullptr, nullptr, &tv);
    if (ready == SOCKET_ERROR) {
      if (::WSAGetLastError() == WSAEINTR) continue;
      return std::unexpected(last_socket_error());
    }
    if (ready == 0) {
      return std::unexpected(IoError{ErrorKind::TimedOut, "no connection arrived in time"});
    }
    const SOCKET accepted = ::accept(listening, nullptr, nullptr);
    if (accepted == INVALID_SOCKET) {
      const int error = ::WSAGetLastError();
      if (error == WSAEWOULDBLOCK || error == WSAEINTR || error == WSAECONNRESET) continue;
      return std::unexpected(os_error(error));
    }
    Socket socket(as_native(accepted));
    // An accepted socket takes the listener's non-blocking mode; ours are blocking.
    ::SetHandleInformation(reinterpret_cast<HANDLE>(accepted), HANDLE_FLAG_INHERIT, 0);
    if (auto set = set_nonblocking(accepted, false); !set) return std::unexpected(set.error());
    return socket;
  }
}

void Listener::close() {
  if (native_ == -1) return;
  ::closesocket(as_socket(std::exchange(native_, -1)));
  port_ = 0;
}

}  // namespace tov::platform
