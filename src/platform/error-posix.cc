// System errors as people read them: the C library's description and the errno value,
// the same text on every road ("Connection refused (os error 111)").
#include <cerrno>
#include <cstring>
#include <string>

#include <unistd.h>

#include "platform/native-posix.h"
#include "platform/platform.h"

namespace tov::platform {
namespace {

ErrorKind kind_of(int code) {
  switch (code) {
    case ENOENT: return ErrorKind::NotFound;
    case EACCES:
    case EPERM: return ErrorKind::PermissionDenied;
    case ECONNREFUSED: return ErrorKind::ConnectionRefused;
    case ECONNRESET: return ErrorKind::ConnectionReset;
    case ECONNABORTED: return ErrorKind::ConnectionAborted;
    case EADDRINUSE: return ErrorKind::AddrInUse;
    case EADDRNOTAVAIL: return ErrorKind::AddrNotAvailable;
    case EPIPE: return ErrorKind::BrokenPipe;
    case EEXIST: return ErrorKind::AlreadyExists;
    case EAGAIN: return ErrorKind::WouldBlock;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK: return ErrorKind::WouldBlock;
#endif
    case EINVAL: return ErrorKind::InvalidInput;
    case ETIMEDOUT: return ErrorKind::TimedOut;
    case EINTR: return ErrorKind::Interrupted;
    default: return ErrorKind::Other;
  }
}

std::string description(int code) {
  char buffer[256] = {};
  // The GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  return text != nullptr ? std::string(text) : std::string("Unknown error");
}

}  // namespace

IoError os_error(int code) {
  return IoError{kind_of(code), description(code) + " (os error " + std::to_string(code) + ")"};
}

IoError last_os_error() { return os_error(errno); }

namespace posix {

void close_quietly(int fd) {
  if (fd < 0) return;
  const int saved = errno;
  ::close(fd);
  errno = saved;
}

}  // namespace posix
}  // namespace tov::platform
