#include <windows.h>

#include "support/env_guard.h"

namespace tov::testing {

namespace {

std::wstring wide(const std::string& text) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

// Values are kept as UTF-16 so that an unpaired surrogate survives the round trip.
std::optional<std::wstring> raw_value(const std::wstring& name) {
  const DWORD size = ::GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (size == 0) {
    if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::wstring();
  }
  std::wstring value(size, L'\0');
  const DWORD n = ::GetEnvironmentVariableW(name.c_str(), value.data(), size);
  value.resize(n);
  return value;
}

std::string narrow(const std::wstring& text) {
  const int n =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

void put(const std::string& name, const std::optional<std::wstring>& value) {
  ::SetEnvironmentVariableW(wide(name).c_str(), value ? value->c_str() : nullptr);
}

}  // namespace

EnvGuard::~EnvGuard() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    put(it->first, it->second ? std::optional<std::wstring>(wide(*it->second)) : std::nullopt);
  }
}

void EnvGuard::remember(const std::string& name) {
  for (const auto& entry : saved_) {
    if (entry.first == name) return;
  }
  const auto value = raw_value(wide(name));
  saved_.emplace_back(name, value ? std::optional<std::string>(narrow(*value)) : std::nullopt);
}

void EnvGuard::set(const std::string& name, const std::string& value) {
  remember(name);
  put(name, wide(value));
}

void EnvGuard::unset(const std::string& name) {
  remember(name);
  put(name, std::nullopt);
}

void EnvGuard::set_invalid_unicode(const std::string& name) {
  remember(name);
  put(name, std::wstring(L"agent") + static_cast<wchar_t>(0xD800));
}

namespace {

std::wstring invalid_folder(const std::string& parent) {
  return wide(parent) + L"\\caf" + static_cast<wchar_t>(0xD800);
}

std::string working_dir() {
  wchar_t buffer[4096];
  const DWORD n = ::GetCurrentDirectoryW(4096, buffer);
  return n > 0 && n < 4096 ? narrow(std::wstring(buffer, n)) : "C:\\";
}

}  // namespace

WorkingDirGuard::WorkingDirGuard() : before_(working_dir()) {}

WorkingDirGuard::~WorkingDirGuard() {
  ::SetCurrentDirectoryW(wide(before_).c_str());
  if (made_in_) ::RemoveDirectoryW(invalid_folder(*made_in_).c_str());
}

bool WorkingDirGuard::enter(const std::string& dir) { return ::SetCurrentDirectoryW(wide(dir).c_str()) != 0; }

bool WorkingDirGuard::enter_invalid_unicode(const std::string& parent) {
  const std::wstring folder = invalid_folder(parent);
  if (!::CreateDirectoryW(folder.c_str(), nullptr)) return false;
  made_in_ = parent;
  return ::SetCurrentDirectoryW(folder.c_str()) != 0;
}

}  // namespace tov::testing
