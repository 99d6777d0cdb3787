// Files and folders through the POSIX calls; every descriptor is opened close-on-exec.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/native-posix.h"
#include "platform/platform.h"

namespace tov::platform {
namespace {

using posix::close_quietly;
using posix::errno_error;
using posix::retry_on_eintr;

// Owns a descriptor for the length of one operation.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { close_quietly(fd_); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the error, for writes whose close can fail.
  IoResult<void> close() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) == -1) return std::unexpected(errno_error());
    return {};
  }

 private:
  int fd_;
};

IoResult<void> write_whole(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = retry_on_eintr([&] { return ::write(fd, bytes.data(), bytes.size()); });
    if (written == -1) return std::unexpected(errno_error());
    if (written == 0) return std::unexpected(IoError{ErrorKind::WriteZero, "failed to write whole buffer"});
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

// Like `mkdir -p`: creates every missing folder of `path`; existing folders are fine.
IoResult<void> create_folders(const std::string& path) {
  if (path.empty()) return {};
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return {};
    return std::unexpected(os_error(ENOTDIR));
  }
  if (auto up = parent(path); up && *up != path) {
    if (auto made = create_folders(*up); !made) return made;
  }
  if (::mkdir(path.c_str(), 0777) == -1 && errno != EEXIST) return std::unexpected(errno_error());
  return {};
}

// A name beside `path` that no other writer picks: our process id and a clock reading.
std::string temporary_name(const std::string& path) {
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(ticks);
}

}  // namespace

IoResult<std::string> read_file(const std::string& path) {
  Fd file(retry_on_eintr([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }));
  if (file.get() == -1) return std::unexpected(errno_error());
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t got = retry_on_eintr([&] { return ::read(file.get(), buffer, sizeof buffer); });
    if (got == -1) return std::unexpected(errno_error());
    if (got == 0) return bytes;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
}

IoResult<void> metadata(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == -1) return std::unexpected(errno_error());
  return {};
}

bool is_regular_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

IoResult<std::string> current_dir() {
  std::string buffer(512, '\0');
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
      buffer.resize(std::char_traits<char>::length(buffer.c_str()));
      return buffer;
    }
    if (errno != ERANGE) return std::unexpected(errno_error());
    buffer.resize(buffer.size() * 2);
  }
}

IoResult<std::string> join_to_current_dir(std::string_view path) {
  auto dir = current_dir();
  if (!dir) return dir;
  return join(*dir, path);
}

std::optional<std::string> current_exe() {
  std::string buffer(512, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length == -1) return std::nullopt;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(length));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);  // may have been cut off: try again with more room
  }
}

IoResult<std::string> canonicalize(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
  if (!resolved) return std::unexpected(errno_error());
  return std::string(resolved.get());
}

IoResult<void> write_file_atomic(const std::string& path, std::string_view bytes) {
  if (auto folder = parent(path); folder) {
    if (auto made = create_folders(*folder); !made) return made;
  }
  const std::string temporary = temporary_name(path);
  Fd file(retry_on_eintr([&] {
    return ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  }));
  if (file.get() == -1) return std::unexpected(errno_error());
  IoResult<void> written = write_whole(file.get(), bytes);
  if (written) written = file.close();
  if (written && ::rename(temporary.c_str(), path.c_str()) == -1) {
    written = std::unexpected(errno_error());
  }
  if (!written) ::unlink(temporary.c_str());
  return written;
}

IoResult<void> remove_file(const std::string& path) {
  if (::unlink(path.c_str()) == -1) return std::unexpected(errno_error());
  return {};
}

}  // namespace tov::platform
