// The small surface of the operating system that the program uses. Each function is
// defined once per platform, in the *-posix.cc and *-win32.cc files beside this header;
// nothing above this layer knows which one it runs on.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tov::platform {

// The kinds of I/O failure that callers tell apart. Other covers the rest.
enum class ErrorKind {
  NotFound,
  PermissionDenied,
  ConnectionRefused,
  ConnectionReset,
  ConnectionAborted,
  AddrInUse,
  AddrNotAvailable,
  BrokenPipe,
  AlreadyExists,
  WouldBlock,
  InvalidInput,
  InvalidData,
  TimedOut,
  WriteZero,
  Interrupted,
  UnexpectedEof,
  Other,
};

// An I/O failure: its kind and the text shown to people. System errors read as
// "<system description> (os error <code>)", e.g. "Connection refused (os error 111)".
struct IoError {
  ErrorKind kind = ErrorKind::Other;
  std::string message;
};

template <class T>
using IoResult = std::expected<T, IoError>;

// The error for a failed system call, from errno (POSIX) or GetLastError/WSAGetLastError
// (Windows) as it stands right now.
IoError last_os_error();
// The same for an explicit system error code.
IoError os_error(int code);

// An IP socket address: IPv4 uses the first four bytes of `ip`.
struct SocketAddress {
  bool is_v6 = false;
  std::array<std::uint8_t, 16> ip{};
  std::uint16_t port = 0;
  std::uint32_t scope_id = 0;  // IPv6 only

  // 127.0.0.1 or [::1] on `port`.
  static SocketAddress loopback(std::uint16_t port, bool v6 = false) {
    SocketAddress address;
    address.is_v6 = v6;
    address.port = port;
    if (v6) {
      address.ip[15] = 1;
    } else {
      address.ip = {127, 0, 0, 1};
    }
    return address;
  }
};

// A connected TCP socket. Move-only; closes on destruction. Every handle is
// close-on-exec / not inheritable.
class Socket {
 public:
  Socket() = default;
  ~Socket();
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Connects, waiting at most `timeout`. The socket comes back blocking, without
  // send or receive timeouts.
  static IoResult<Socket> connect(const SocketAddress& address, std::chrono::milliseconds timeout);

  bool is_open() const;
  // A timeout of zero means none.
  IoResult<void> set_receive_timeout(std::chrono::milliseconds timeout);
  IoResult<void> set_send_timeout(std::chrono::milliseconds timeout);
  // A second handle on the same connection, closed on its own.
  IoResult<Socket> duplicate() const;
  // One send call; interrupted calls are repeated. Returns the bytes accepted.
  IoResult<std::size_t> send(std::string_view bytes);
  // Sends every byte: continues partial sends; a send that accepts nothing fails
  // with WriteZero "failed to write whole buffer".
  IoResult<void> send_all(std::string_view bytes);
  // One receive call; interrupted calls are repeated. 0 means the peer closed.
  // A receive timeout fails with WouldBlock or TimedOut.
  IoResult<std::size_t> receive(std::span<char> buffer);
  // Half-closes the writing side (used by test peers and the stand-in app only).
  IoResult<void> shutdown_write();
  // Closes at once, sending a reset instead of an orderly close (test peers only).
  void close_with_reset();
  void close();

  // For the platform files only.
  explicit Socket(std::intptr_t native) : native_(native) {}
  std::intptr_t native() const { return native_; }

 private:
  std::intptr_t native_ = -1;
};

// A listening TCP socket on a loopback address: the stand-in app's side and the test peers'.
class Listener {
 public:
  Listener() = default;
  ~Listener();
  Listener(Listener&& other) noexcept;
  Listener& operator=(Listener&& other) noexcept;
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Binds 127.0.0.1 (or [::1] with `v6`) on `port` (0: any free port) and listens.
  static IoResult<Listener> bind_loopback(std::uint16_t port = 0, bool v6 = false);
  std::uint16_t port() const;
  // Waits at most `timeout` for a connection; TimedOut when none came.
  IoResult<Socket> accept(std::chrono::milliseconds timeout);
  void close();

 private:
  std::intptr_t native_ = -1;
  std::uint16_t port_ = 0;
};

// ---- Environment -------------------------------------------------------------------

// The variable's value when it is set and valid Unicode; none otherwise.
std::optional<std::string> env_var(const char* name);
// The variable's value as a path text whenever it is set (invalid Unicode replaced by U+FFFD
// on Windows, raw bytes on POSIX).
std::optional<std::string> env_path(const char* name);

// ---- Files and paths ---------------------------------------------------------------


// The whole file, as bytes.
IoResult<std::string> read_file(const std::string& path);
// Succeeds when the file system can give the metadata of `path` (links followed).
IoResult<void> metadata(const std::string& path);
// True for an existing regular file, links followed; any failure counts as false.
bool is_regular_file(const std::string& path);
// Path texts from the system come as it gives them: bytes on POSIX; on Windows UTF-8 in which
// an unpaired surrogate stays, written as WTF-8 does, so a name that is not valid Unicode
// never passes for another.
IoResult<std::string> current_dir();
// A relative `path` joined to the folder it is taken from: the current directory or, on
// Windows, for a drive without a root ("C:x"), the current directory of that drive.
IoResult<std::string> join_to_current_dir(std::string_view path);
// The path of the running executable, when the system can give it.
std::optional<std::string> current_exe();
// The canonical absolute form, exactly as the system gives it (see current_dir).
IoResult<std::string> canonicalize(const std::string& path);
bool is_absolute(std::string_view path);
// Appends a separator and `component`; no separator when `base` is empty or already ends
// in one.
std::string join(std::string_view base, std::string_view component);
// The folder that holds `path`, when it has one.
std::optional<std::string> parent(std::string_view path);
// Writes a whole file so that a reader never sees half of it (a temporary file renamed
// into place). Creates missing parent folders.
IoResult<void> write_file_atomic(const std::string& path, std::string_view bytes);
IoResult<void> remove_file(const std::string& path);

// ---- Processes -----------------------------------------------------------------------

// Starts `path` with no arguments, this process's environment and working directory and all
// three standard streams on the null device. Never waits for it and leaves no zombie
// behind; the child inherits no handle of ours, not even one that our own caller handed
// us, and no signal aimed at our terminal session reaches it.
IoResult<void> spawn_detached(const std::string& path);
std::uint32_t process_id();

// ---- Console ---------------------------------------------------------------------------

// The program's first call, before anything opens a file or socket: a closed standard stream
// is put on the null device (POSIX) so that nothing else takes its number, standard streams go
// into binary mode (Windows), SIGPIPE and SIGXFSZ are ignored (POSIX).
void init_process();
// The program's arguments as UTF-8, the program path first; fails when one is not valid
// Unicode, with a message that names the problem.
std::expected<std::vector<std::string>, std::string> arguments(int argc, char** argv);
// One read of standard input; 0 at its end. A stream that another process made
// non-blocking (POSIX) is waited on, here and in the writes.
IoResult<std::size_t> read_stdin(std::span<char> buffer);
// Writes every byte (and flushes: nothing is buffered at this layer).
IoResult<void> write_stdout(std::string_view bytes);
IoResult<void> write_stderr(std::string_view bytes);

}  // namespace tov::platform
