// The process's own streams and arguments on Windows. Streams carry bytes unchanged (no
// CRLF translation); a console window is read and written as UTF-16 (ReadConsoleW,
// WriteConsoleW), so that text is UTF-8 on our side whatever the console's code page.
#include "platform/native-win32.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "text/utf16_stream.h"

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
    // Each call's units are shown on their own: half a pair would be two wrong characters.
    const auto chunk = static_cast<DWORD>(text::utf16_piece_length(rest.data(), rest.size(), 8192));
    if (!::WriteConsoleW(console, rest.data(), chunk, &written, nullptr)) {
      return std::unexpected(last_error());
    }
    if (written == 0) return std::unexpected(IoError{ErrorKind::WriteZero, "failed to write whole buffer"});
    rest.remove_prefix(std::min<std::size_t>(written, chunk));
  }
  return {};
}

// One ReadConsoleW into `units`; 0 for the end of the input. As with the platform's own
// runtimes, Ctrl-Z ends a read at once and is not passed on, and on its own it is the end.
IoResult<std::size_t> read_console_units(HANDLE console, std::span<char16_t> units) {
  constexpr char16_t kCtrlZ = 0x1A;
  CONSOLE_READCONSOLE_CONTROL control{};
  control.nLength = sizeof control;
  control.dwCtrlWakeupMask = 1ul << kCtrlZ;
  DWORD got = 0;
  for (;;) {
    ::SetLastError(0);
    if (!::ReadConsoleW(console, units.data(), static_cast<DWORD>(units.size()), &got, &control)) {
      return std::unexpected(last_error());
    }
    // Ctrl-C while reading ends the read without a character; the console's handler deals
    // with the signal, and the reading goes on.
    if (got != 0 || ::GetLastError() != ERROR_OPERATION_ABORTED) break;
  }
  if (got > 0 && units[got - 1] == kCtrlZ) --got;
  return static_cast<std::size_t>(got);
}

IoResult<std::size_t> read_console(HANDLE console, std::span<char> buffer) {
  // The console's text outlives one call: what did not fit the caller's buffer, and the
  // first half of a pair whose second half is still to come, wait here for the next one.
  static text::Utf16ToUtf8Stream console_text;
  while (!console_text.ready()) {
    std::array<char16_t, 4096> units;
    auto got = read_console_units(console, units);
    if (!got) return std::unexpected(got.error());
    auto put = console_text.put(std::u16string_view(units.data(), *got));
    if (!put) return std::unexpected(IoError{ErrorKind::InvalidData, put.error()});
  }
  return console_text.take(buffer);
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
  if (is_console(handle)) return read_console(handle, buffer);
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
