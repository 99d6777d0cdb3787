// The process's own streams and arguments on Windows. Streams carry bytes unchanged (no
// CRLF translation); a console window gets its text through WriteConsoleW so that UTF-8
// shows as text whatever the console's code page.
#include "platform/native-win32.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tov::platform {
namespace {

using win32::last_error;

bool is_console(HANDLE handle) {
  DWORD mode = 0;
  return ::GetConsoleMode(handle, &mode) != 0;
}

IoResult<void> write_console(HANDLE console, std::string_view bytes) {
  const std::wstring text = win32::wide(bytes);
  std::wstring_view rest = text;
  while (!rest.empty()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 8192));
    if (!::WriteConsoleW(console, rest.data(), chunk, &written, nullptr)) {
      return std::unexpected(last_error());
    }
    if (written == 0) return std::unexpected(IoError{ErrorKind::WriteZero, "failed to write whole buffer"});
    rest.remove_prefix(written);
  }
  return {};
}

IoResult<void> write_all(DWORD which, std::string_view bytes) {
  const HANDLE handle = ::GetStdHandle(which);
  // A process started without this stream writes into nothing, as into NUL.
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return {};
  if (is_console(handle)) return write_console(handle, bytes);
  while (!bytes.empty()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!::WriteFile(handle, bytes.data(), chunk, &written, nullptr)) return std::unexpected(last_error());
    if (written == 0) return std::unexpected(IoError{ErrorKind::WriteZero, "failed to write whole buffer"});
    bytes.remove_prefix(written);
  }
  return {};
}

}  // namespace

void init_process() {
  // Binary mode for anything that goes through the C runtime's streams.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::expected<std::vector<std::string>, std::string> arguments(int, char**) {
  // argv of the C runtime is in the ANSI code page; the command line itself is UTF-16.
  int count = 0;
  LPWSTR* wide_arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide_arguments == nullptr) return std::unexpected("could not read the command line: " + last_error().message);
  std::vector<std::string> texts;
  std::string failure;
  for (int i = 0; i < count && failure.empty(); ++i) {
    auto text = win32::narrow_strict(wide_arguments[i]);
    if (text) {
      texts.push_back(std::move(*text));
    } else {
      failure = "argument " + std::to_string(i) + " is not valid Unicode";
    }
  }
  ::LocalFree(wide_arguments);
  if (!failure.empty()) return std::unexpected(failure);
  return texts;
}

IoResult<std::size_t> read_stdin(std::span<char> buffer) {
  const HANDLE handle = ::GetStdHandle(STD_INPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return 0;
  DWORD got = 0;
  const auto size = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 30));
  if (!::ReadFile(handle, buffer.data(), size, &got, nullptr)) {
    // The writer closing its end of a pipe is the end of input, not a failure.
    if (::GetLastError() == ERROR_BROKEN_PIPE) return 0;
    return std::unexpected(last_error());
  }
  return static_cast<std::size_t>(got);
}

IoResult<void> write_stdout(std::string_view bytes) { return write_all(STD_OUTPUT_HANDLE, bytes); }
IoResult<void> write_stderr(std::string_view bytes) { return write_all(STD_ERROR_HANDLE, bytes); }

}  // namespace tov::platform
