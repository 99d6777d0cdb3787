// Files and folders through the Windows W calls. Handles are opened without inheritance
// and with every sharing mode, so that a reader never stands in the way of a writer that
// replaces the file.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/native-win32.h"

namespace tov::platform {
namespace {

using win32::Handle;
using win32::last_error;
using win32::wide;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens `path` for its attributes only; folders too (backup semantics), links followed.
Handle open_for_metadata(const std::string& path) {
  return Handle(::CreateFileW(wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

IoResult<BY_HANDLE_FILE_INFORMATION> information(const std::string& path) {
  Handle file = open_for_metadata(path);
  if (!file.valid()) return std::unexpected(last_error());
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info)) return std::unexpected(last_error());
  return info;
}

IoResult<void> write_whole(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) return std::unexpected(last_error());
    if (written == 0) return std::unexpected(IoError{ErrorKind::WriteZero, "failed to write whole buffer"});
    bytes.remove_prefix(written);
  }
  return {};
}

// Like `mkdir -p`: creates every missing folder of `path`; existing folders are fine.
IoResult<void> create_folders(const std::string& path) {
  if (path.empty()) return {};
  if (auto info = information(path)) {
    if (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {};
    return std::unexpected(os_error(ERROR_DIRECTORY));
  }
  if (auto up = parent(path); up && *up != path) {
    if (auto made = create_folders(*up); !made) return made;
  }
  if (!::CreateDirectoryW(wide(path).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return std::unexpected(last_error());
  }
  return {};
}

// A name beside `path` that no other writer picks: our process id and a clock reading.
std::string temporary_name(const std::string& path) {
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return path + ".tmp-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(ticks);
}

// Replaces `to` by `from`. A reader that opened `to` without delete sharing (an antivirus,
// an editor) blocks the rename for a moment, so a few short retries are made.
IoResult<void> replace(const std::wstring& from, const std::wstring& to) {
  for (int attempt = 0;; ++attempt) {
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return {};
    }
    const DWORD error = ::GetLastError();
    if (attempt >= 20 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
      return std::unexpected(os_error(static_cast<int>(error)));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

IoResult<std::string> read_file(const std::string& path) {
  Handle file(::CreateFileW(wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return std::unexpected(last_error());
  std::string bytes;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
      if (::GetLastError() == ERROR_BROKEN_PIPE) return bytes;
      return std::unexpected(last_error());
    }
    if (got == 0) return bytes;
    bytes.append(buffer, got);
  }
}

IoResult<void> metadata(const std::string& path) {
  if (auto info = information(path); !info) return std::unexpected(info.error());
  return {};
}

bool is_regular_file(const std::string& path) {
  const auto info = information(path);
  return info && (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

IoResult<std::string> current_dir() {
  auto text = win32::fill_wide([](wchar_t* buffer, DWORD size) { return ::GetCurrentDirectoryW(size, buffer); });
  if (!text) return std::unexpected(last_error());
  return win32::narrow_keeping_surrogates(*text);
}

IoResult<std::string> join_to_current_dir(std::string_view path) {
  if (!win32::is_drive(path) || is_absolute(path)) {
    auto dir = current_dir();
    if (!dir) return dir;
    return join(*dir, path);
  }
  // Each drive has a current directory of its own; the system keeps it for "C:" alone.
  const std::wstring drive = wide(path.substr(0, 2));
  auto text = win32::fill_wide([&](wchar_t* buffer, DWORD size) {
    return ::GetFullPathNameW(drive.c_str(), size, buffer, nullptr);
  });
  if (!text) return std::unexpected(last_error());
  return join(win32::narrow_keeping_surrogates(*text), path.substr(2));
}

std::optional<std::string> current_exe() {
  auto text = win32::fill_wide(
      [](wchar_t* buffer, DWORD size) { return ::GetModuleFileNameW(nullptr, buffer, size); });
  if (!text) return std::nullopt;
  return win32::narrow_lossy(*text);
}

IoResult<std::string> canonicalize(const std::string& path) {
  Handle file = open_for_metadata(path);
  if (!file.valid()) return std::unexpected(last_error());
  auto text = win32::fill_wide([&](wchar_t* buffer, DWORD size) {
    return ::GetFinalPathNameByHandleW(file.get(), buffer, size, VOLUME_NAME_DOS);
  });
  if (!text) return std::unexpected(last_error());
  return win32::narrow_keeping_surrogates(*text);
}

IoResult<void> write_file_atomic(const std::string& path, std::string_view bytes) {
  if (auto folder = parent(path); folder) {
    if (auto made = create_folders(*folder); !made) return made;
  }
  const std::wstring temporary = wide(temporary_name(path));
  Handle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return std::unexpected(last_error());
  IoResult<void> written = write_whole(file.get(), bytes);
  file.reset();
  if (written) written = replace(temporary, wide(path));
  if (!written) ::DeleteFileW(temporary.c_str());
  return written;
}

IoResult<void> remove_file(const std::string& path) {
  if (!::DeleteFileW(wide(path).c_str())) return std::unexpected(last_error());
  return {};
}

}  // namespace tov::platform
