// Environment variables, read in UTF-16 as the system keeps them.
#include <optional>
#include <string>

#include "platform/native-win32.h"

namespace tov::platform {
namespace {

std::optional<std::wstring> raw_value(const char* name) {
  const std::wstring wide_name = win32::wide(name);
  return win32::fill_wide([&](wchar_t* buffer, DWORD size) {
    return ::GetEnvironmentVariableW(wide_name.c_str(), buffer, size);
  });
}

}  // namespace

std::optional<std::string> env_var(const char* name) {
  auto value = raw_value(name);
  if (!value) return std::nullopt;
  return win32::narrow_strict(*value);
}

std::optional<std::string> env_path(const char* name) {
  auto value = raw_value(name);
  if (!value) return std::nullopt;
  return win32::narrow_lossy(*value);
}

// APPDATA and USERPROFILE alone decide where app data lives on Windows.

}  // namespace tov::platform
