// What the POSIX files of the platform layer share among themselves. Nothing outside
// src/platform includes this.
#pragma once

#include <cerrno>

#include "platform/platform.h"

namespace tov::platform::posix {

// Repeats a system call while it fails with EINTR.
template <class Call>
auto retry_on_eintr(Call call) {
  for (;;) {
    auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

// Closes a descriptor, keeping errno as it was (close runs on error paths).
void close_quietly(int fd);

// The error that the system reported for the failed call just made.
inline IoError errno_error() { return os_error(errno); }

}  // namespace tov::platform::posix
