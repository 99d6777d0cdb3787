// What the Windows files of the platform layer share among themselves. Nothing outside
// src/platform includes this.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tov::platform::win32 {

// UTF-8 to UTF-16 for the system's W functions; what is not valid UTF-8 becomes U+FFFD.
std::wstring wide(std::string_view text);
// UTF-16 to UTF-8. None when the text holds an unpaired surrogate (it is not valid Unicode).
std::optional<std::string> narrow_strict(std::wstring_view text);
// UTF-16 to UTF-8 with every unpaired surrogate replaced by U+FFFD.
std::string narrow_lossy(std::wstring_view text);
// UTF-16 to UTF-8 with every unpaired surrogate kept as three bytes of its own (WTF-8): the
// result is then not valid UTF-8, so the caller can tell.
std::string narrow_keeping_surrogates(std::wstring_view text);

// A drive letter and a colon: "C:".
inline bool is_drive(std::string_view text) {
  return text.size() >= 2 && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')) &&
         text[1] == ':';
}

// The error of the failed call just made, from GetLastError.
inline IoError last_error() { return os_error(static_cast<int>(::GetLastError())); }
// The same for Winsock calls.
inline IoError last_socket_error() { return os_error(::WSAGetLastError()); }

// Owns a kernel handle for the length of one operation.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  void reset() {
    if (valid()) ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Calls a W function that fills a buffer and returns the length it wrote (or the length
// it needs, when the buffer is too small), growing the buffer until the text fits.
template <class Fill>
std::optional<std::wstring> fill_wide(Fill fill) {
  std::wstring buffer(260, L'\0');
  for (int round = 0; round < 16; ++round) {
    ::SetLastError(0);
    const DWORD length = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 && ::GetLastError() != 0) return std::nullopt;
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(std::max<std::size_t>(buffer.size() * 2, length + 1));
  }
  return std::nullopt;
}

}  // namespace tov::platform::win32
