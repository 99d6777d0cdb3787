// Running programs under test on Windows: CreateProcessW with an explicit environment block
// and three overlapped named pipes, served by one wait loop, and a kill when the time is up.
// Only the child's three pipe ends are inherited (a handle list), so that programs started
// by the tests in parallel never hold each other's pipes.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "support/test_support.h"

namespace tov::testing {
namespace {

using Clock = std::chrono::steady_clock;

// UTF-8 to UTF-16 that also carries encoded surrogates ("\xED\xA0\x80" is U+D800), so that a
// test can hand a child text that is not valid Unicode. Other bad bytes become U+FFFD.
std::wstring wide(std::string_view text) {
  std::wstring out;
  std::size_t i = 0;
  auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  auto continuation = [&](std::size_t at) { return at < text.size() && (byte(at) & 0xC0) == 0x80; };
  while (i < text.size()) {
    const unsigned char b = byte(i);
    char32_t c = 0xFFFD;
    std::size_t length = 1;
    if (b < 0x80) {
      c = b;
    } else if (b >= 0xC2 && b <= 0xDF && continuation(i + 1)) {
      c = ((b & 0x1Fu) << 6) | (byte(i + 1) & 0x3Fu);
      length = 2;
    } else if (b >= 0xE0 && b <= 0xEF && continuation(i + 1) && continuation(i + 2)) {
      c = ((b & 0x0Fu) << 12) | ((byte(i + 1) & 0x3Fu) << 6) | (byte(i + 2) & 0x3Fu);
      length = 3;
      if (c < 0x800) c = 0xFFFD;
    } else if (b >= 0xF0 && b <= 0xF4 && continuation(i + 1) && continuation(i + 2) && continuation(i + 3)) {
      c = ((b & 0x07u) << 18) | ((byte(i + 1) & 0x3Fu) << 12) | ((byte(i + 2) & 0x3Fu) << 6) |
          (byte(i + 3) & 0x3Fu);
      length = 4;
      if (c < 0x10000 || c > 0x10FFFF) c = 0xFFFD;
    }
    if (c >= 0x10000) {
      out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(c);
    }
    i += length;
  }
  return out;
}

// One argument, quoted so that CommandLineToArgvW gives it back unchanged.
void append_argument(std::wstring& line, std::string_view argument) {
  const std::wstring text = wide(argument);
  const bool quote = text.empty() || text.find_first_of(L" \t\"") != std::wstring::npos;
  if (quote) line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : text) {
    if (c == L'\\') {
      ++backslashes;
    } else {
      if (c == L'"') line.append(backslashes + 1, L'\\');
      backslashes = 0;
    }
    line += c;
  }
  if (quote) {
    line.append(backslashes, L'\\');
    line += L'"';
  }
}

std::wstring environment_block(const std::vector<std::string>& env) {
  std::wstring block;
  for (const std::string& entry : env) {
    block += wide(entry);
    block += L'\0';
  }
  if (block.empty()) block += L'\0';
  block += L'\0';
  return block;
}

// Our end of one of the child's standard streams: an overlapped named pipe.
struct Channel {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  HANDLE event = nullptr;
  OVERLAPPED overlapped{};
  std::array<char, 65536> buffer{};
  bool pending = false;

  bool open() const { return pipe != INVALID_HANDLE_VALUE; }
  void close() {
    if (pending) {
      ::CancelIoEx(pipe, &overlapped);
      DWORD ignored = 0;
      ::GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);  // the system is done with buffer
      pending = false;
    }
    if (open()) ::CloseHandle(pipe);
    pipe = INVALID_HANDLE_VALUE;
  }
  ~Channel() {
    close();
    if (event != nullptr) ::CloseHandle(event);
  }
};

// Creates the pipe: our end overlapped and not inheritable, the child's end inheritable.
bool make_channel(Channel& channel, bool child_reads, HANDLE& child_end) {
  // Unique among all runs at once: our process, the channel's address and a clock reading.
  LARGE_INTEGER ticks;
  ::QueryPerformanceCounter(&ticks);
  const std::wstring name = L"\\\\.\\pipe\\tov-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                            std::to_wstring(reinterpret_cast<std::uintptr_t>(&channel)) + L"-" +
                            std::to_wstring(ticks.QuadPart);
  const DWORD direction = child_reads ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND;
  channel.pipe = ::CreateNamedPipeW(name.c_str(), direction | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                    PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 65536, 65536, 0,
                                    nullptr);
  if (!channel.open()) return false;
  channel.event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  child_end = ::CreateFileW(name.c_str(), child_reads ? GENERIC_READ : GENERIC_WRITE, 0, &inherit, OPEN_EXISTING,
                            0, nullptr);
  return channel.event != nullptr && child_end != INVALID_HANDLE_VALUE;
}

// Starts the next read, unless one is under way. A closed pipe closes the channel.
void start_read(Channel& channel) {
  if (!channel.open() || channel.pending) return;
  ::ResetEvent(channel.event);
  channel.overlapped = OVERLAPPED{};
  channel.overlapped.hEvent = channel.event;
  if (::ReadFile(channel.pipe, channel.buffer.data(), static_cast<DWORD>(channel.buffer.size()), nullptr,
                 &channel.overlapped) ||
      ::GetLastError() == ERROR_IO_PENDING) {
    channel.pending = true;
  } else {
    channel.close();
  }
}

void start_write(Channel& channel, std::string_view pending_bytes) {
  if (!channel.open() || channel.pending) return;
  if (pending_bytes.empty()) return channel.close();
  ::ResetEvent(channel.event);
  channel.overlapped = OVERLAPPED{};
  channel.overlapped.hEvent = channel.event;
  const auto size = static_cast<DWORD>(std::min<std::size_t>(pending_bytes.size(), channel.buffer.size()));
  std::copy_n(pending_bytes.data(), size, channel.buffer.data());
  if (::WriteFile(channel.pipe, channel.buffer.data(), size, nullptr, &channel.overlapped) ||
      ::GetLastError() == ERROR_IO_PENDING) {
    channel.pending = true;
  } else {
    channel.close();
  }
}

// Collects a finished operation: the bytes moved, or 0 with the channel closed.
DWORD finish(Channel& channel) {
  DWORD moved = 0;
  const bool ok = ::GetOverlappedResult(channel.pipe, &channel.overlapped, &moved, FALSE);
  channel.pending = false;
  if (!ok) {
    channel.close();
    return 0;
  }
  return moved;
}

// Inheritance limited to the child's three pipe ends.
class HandleList {
 public:
  explicit HandleList(std::array<HANDLE, 3>& handles) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    ready_ = ::InitializeProcThreadAttributeList(list_, 1, 0, &size) &&
             ::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                         sizeof(HANDLE) * handles.size(), nullptr, nullptr);
  }
  ~HandleList() { ::DeleteProcThreadAttributeList(list_); }
  HandleList(const HandleList&) = delete;
  HandleList& operator=(const HandleList&) = delete;
  bool ready() const { return ready_; }
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
  bool ready_ = false;
};

DWORD wait_ms(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<DWORD>(std::clamp<long long>(left, 0, 1000));
}

}  // namespace

ProcessResult run_program(const std::string& path, const RunOptions& options) {
  ProcessResult result;
  Channel in, out, err;
  std::array<HANDLE, 3> child_ends{INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
  const bool made = make_channel(in, true, child_ends[0]) && make_channel(out, false, child_ends[1]) &&
                    make_channel(err, false, child_ends[2]);
  auto close_child_ends = [&] {
    for (HANDLE& handle : child_ends) {
      if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
      handle = INVALID_HANDLE_VALUE;
    }
  };
  if (!made) {
    close_child_ends();
    result.err = "could not make pipes: error " + std::to_string(::GetLastError());
    return result;
  }

  HandleList handles(child_ends);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = child_ends[0];
  startup.StartupInfo.hStdOutput = child_ends[1];
  startup.StartupInfo.hStdError = child_ends[2];
  startup.lpAttributeList = handles.get();

  const std::wstring application = wide(path);
  std::wstring command_line = L"\"" + application + L"\"";
  for (const std::string& argument : options.args) {
    command_line += L' ';
    append_argument(command_line, argument);
  }
  std::wstring environment = environment_block(options.env);
  const std::wstring cwd = options.cwd ? wide(*options.cwd) : std::wstring();
  PROCESS_INFORMATION process{};
  const bool started =
      handles.ready() &&
      ::CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                       EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT, environment.data(),
                       options.cwd ? cwd.c_str() : nullptr, &startup.StartupInfo, &process);
  const DWORD start_error = ::GetLastError();
  close_child_ends();
  if (!started) {
    result.err = "could not start " + path + ": error " + std::to_string(start_error);
    return result;
  }
  ::CloseHandle(process.hThread);

  std::string_view pending = options.stdin_bytes;
  const auto deadline = Clock::now() + options.timeout;
  while (out.open() || err.open()) {
    start_read(out);
    start_read(err);
    start_write(in, pending);
    std::vector<HANDLE> events;
    std::vector<Channel*> waiting;
    for (Channel* channel : {&out, &err, &in}) {
      if (channel->pending) {
        events.push_back(channel->event);
        waiting.push_back(channel);
      }
    }
    if (events.empty()) continue;
    if (Clock::now() >= deadline) {
      result.timed_out = true;
      break;
    }
    const DWORD woke = ::WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE,
                                                wait_ms(deadline));
    if (woke >= WAIT_OBJECT_0 + events.size()) continue;
    Channel& done = *waiting[woke - WAIT_OBJECT_0];
    const DWORD moved = finish(done);
    if (&done == &out) result.out.append(out.buffer.data(), moved);
    if (&done == &err) result.err.append(err.buffer.data(), moved);
    if (&done == &in) pending.remove_prefix(std::min<std::size_t>(moved, pending.size()));
  }
  in.close();
  out.close();
  err.close();

  // A child may close its streams and go on running: its exit is awaited within the same time.
  if (!result.timed_out) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (::WaitForSingleObject(process.hProcess, static_cast<DWORD>(std::max<long long>(left, 0))) != WAIT_OBJECT_0) {
      result.timed_out = true;
    }
  }
  if (result.timed_out) {
    ::TerminateProcess(process.hProcess, 1);
    ::WaitForSingleObject(process.hProcess, 10000);
  }
  DWORD code = 0;
  result.exit_code = ::GetExitCodeProcess(process.hProcess, &code) ? static_cast<int>(code) : -1;
  ::CloseHandle(process.hProcess);
  return result;
}

TempDir::TempDir() {
  wchar_t base[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
  if (length == 0 || length > MAX_PATH) return;
  for (int attempt = 0; attempt < 100; ++attempt) {
    LARGE_INTEGER ticks;
    ::QueryPerformanceCounter(&ticks);
    const std::wstring candidate = std::wstring(base, length) + L"tov-test-" +
                                   std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(ticks.QuadPart);
    if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
      const int size = ::WideCharToMultiByte(CP_UTF8, 0, candidate.data(), static_cast<int>(candidate.size()),
                                             nullptr, 0, nullptr, nullptr);
      path_.resize(static_cast<std::size_t>(size));
      ::WideCharToMultiByte(CP_UTF8, 0, candidate.data(), static_cast<int>(candidate.size()), path_.data(), size,
                            nullptr, nullptr);
      return;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return;
  }
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(wide(path_)), ignored);
}

void kill_process(std::uint32_t pid) {
  const HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid);
  if (process == nullptr) return;
  ::TerminateProcess(process, 1);
  ::CloseHandle(process);
}

}  // namespace tov::testing
