// Starting the app as a process of its own: CreateProcessW on the full path (no search
// of PATH or the current folder), all three standard handles on NUL, and only those
// handles inherited, so that the app holds none of our pipes or sockets. The app gets a
// process group of its own and no share in our console: the caller's Ctrl-C, Ctrl-Break
// or closing of that console window must not end it.
#include <string>
#include <vector>

#include "platform/native-win32.h"

namespace tov::platform {
namespace {

using win32::Handle;
using win32::last_error;

// NUL for reading and writing, inheritable so that the child can use it.
Handle open_null_device() {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return Handle(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inherit, OPEN_EXISTING, 0, nullptr));
}

// A thread attribute list that limits inheritance to the one handle given.
class HandleList {
 public:
  explicit HandleList(HANDLE* handle) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    ready_ = ::InitializeProcThreadAttributeList(list_, 1, 0, &size) &&
             ::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handle,
                                         sizeof(HANDLE), nullptr, nullptr);
  }
  ~HandleList() {
    if (list_ != nullptr) ::DeleteProcThreadAttributeList(list_);
  }
  HandleList(const HandleList&) = delete;
  HandleList& operator=(const HandleList&) = delete;
  bool ready() const { return ready_; }
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
  bool ready_ = false;
};

}  // namespace

IoResult<void> spawn_detached(const std::string& path) {
  Handle null_device = open_null_device();
  if (!null_device.valid()) return std::unexpected(last_error());
  HANDLE inherited = null_device.get();
  HandleList handles(&inherited);
  if (!handles.ready()) return std::unexpected(last_error());

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = inherited;
  startup.StartupInfo.hStdOutput = inherited;
  startup.StartupInfo.hStdError = inherited;
  startup.lpAttributeList = handles.get();

  const std::wstring application = win32::wide(path);
  // The command line is the program's own name alone, quoted as Windows programs expect.
  std::wstring command_line = L"\"" + application + L"\"";
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                        EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT |
                            CREATE_NEW_PROCESS_GROUP | DETACHED_PROCESS,
                        nullptr, nullptr,
                        &startup.StartupInfo, &started)) {
    return std::unexpected(last_error());
  }
  // Never waited for: both handles go at once.
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  return {};
}

std::uint32_t process_id() { return ::GetCurrentProcessId(); }

}  // namespace tov::platform
