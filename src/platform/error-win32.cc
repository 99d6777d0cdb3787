// System errors as people read them: the system's own description, trimmed, and the
// error code ("No connection could be made ... (os error 10061)").
#include <string>

#include "platform/native-win32.h"

namespace tov::platform {
namespace {

struct KindRow {
  DWORD code;
  ErrorKind kind;
};

// Error codes that callers tell apart; every other code is Other.
constexpr KindRow kKinds[] = {
    {ERROR_FILE_NOT_FOUND, ErrorKind::NotFound},
    {ERROR_PATH_NOT_FOUND, ErrorKind::NotFound},
    {ERROR_ACCESS_DENIED, ErrorKind::PermissionDenied},
    {ERROR_ALREADY_EXISTS, ErrorKind::AlreadyExists},
    {ERROR_FILE_EXISTS, ErrorKind::AlreadyExists},
    {ERROR_BROKEN_PIPE, ErrorKind::BrokenPipe},
    {ERROR_NO_DATA, ErrorKind::BrokenPipe},
    {ERROR_INVALID_PARAMETER, ErrorKind::InvalidInput},
    {ERROR_SEM_TIMEOUT, ErrorKind::TimedOut},
    {WAIT_TIMEOUT, ErrorKind::TimedOut},
    {ERROR_OPERATION_ABORTED, ErrorKind::TimedOut},
    {ERROR_TIMEOUT, ErrorKind::TimedOut},
    {WSAEACCES, ErrorKind::PermissionDenied},
    {WSAEADDRINUSE, ErrorKind::AddrInUse},
    {WSAEADDRNOTAVAIL, ErrorKind::AddrNotAvailable},
    {WSAECONNABORTED, ErrorKind::ConnectionAborted},
    {WSAECONNREFUSED, ErrorKind::ConnectionRefused},
    {WSAECONNRESET, ErrorKind::ConnectionReset},
    {WSAEINVAL, ErrorKind::InvalidInput},
    {WSAEWOULDBLOCK, ErrorKind::WouldBlock},
    {WSAETIMEDOUT, ErrorKind::TimedOut},
    {WSAEINTR, ErrorKind::Interrupted},
    {WSAESHUTDOWN, ErrorKind::BrokenPipe},
};

ErrorKind kind_of(DWORD code) {
  for (const KindRow& row : kKinds) {
    if (row.code == code) return row.kind;
  }
  return ErrorKind::Other;
}

std::string description(DWORD code) {
  wchar_t buffer[2048];
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  if (length == 0) {
    return "OS Error " + std::to_string(code) + " (FormatMessageW() returned error " +
           std::to_string(::GetLastError()) + ")";
  }
  std::wstring_view text(buffer, length);
  // The system ends its texts with a line break.
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                           text.back() == L'\t')) {
    text.remove_suffix(1);
  }
  return win32::narrow_lossy(text);
}

}  // namespace

IoError os_error(int code) {
  const auto unsigned_code = static_cast<DWORD>(code);
  return IoError{kind_of(unsigned_code),
                 description(unsigned_code) + " (os error " + std::to_string(code) + ")"};
}

IoError last_os_error() { return os_error(static_cast<int>(::GetLastError())); }

}  // namespace tov::platform
