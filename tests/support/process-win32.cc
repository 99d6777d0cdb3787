// Running programs under test on Windows: CreateProcessW with an explicit environment block
// and three overlapped named pipes, served by one wait loop, and a kill when the time is up.
// Only the child's three pipe ends are inherited (a handle list), so that programs started
// by the tests in parallel never hold each other's pipes.
#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"

namespace tov::testing {
namespace {

using Clock = std::chrono::steady_clock;

// UTF-8 to UTF-16 that also carries encoded surrogates ("\xED\xA0\x80" is U+D800), so that a
// test can hand a child text that is not valid Unicode. Other bad bytes become U+FFFD.
std::wstring wide(std::string_view text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    char32_t c = length == 1 ? lead : lead & (0x7Fu >> length);
    bool whole = length > 0 && i + length <= text.size();
    for (std::size_t k = 1; whole && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      whole = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3Fu);
    }
    if (!whole || c > 0x10FFFF) c = 0xFFFD;
    if (c >= 0x10000) {
      out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(c);
    }
    i += whole ? length : 1;
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
  if (quote) line.append(backslashes, L'\\') += L'"';
}

// Our end of one of the child's standard streams: an overlapped named pipe with at most one
// read or write under way.
struct Stream {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  OVERLAPPED overlapped{};
  std::array<char, 65536> buffer{};
  bool busy = false;

  bool open() const { return pipe != INVALID_HANDLE_VALUE; }
  void close() {
    if (busy) {
      ::CancelIoEx(pipe, &overlapped);
      DWORD ignored = 0;
      ::GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);  // the system is done with buffer
      busy = false;
    }
    if (open()) ::CloseHandle(pipe);
    pipe = INVALID_HANDLE_VALUE;
  }
  ~Stream() {
    close();
    if (event != nullptr) ::CloseHandle(event);
  }

  // Makes the pipe: ours overlapped and not inheritable, the child's end (returned) inheritable.
  HANDLE make(bool child_reads) {
    // Unique among all runs at once: our process, this stream's address and a clock reading.
    LARGE_INTEGER ticks;
    ::QueryPerformanceCounter(&ticks);
    const std::wstring name = L"\\\\.\\pipe\\tov-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(reinterpret_cast<std::uintptr_t>(this)) + L"-" +
                              std::to_wstring(ticks.QuadPart);
    pipe = ::CreateNamedPipeW(name.c_str(),
                              (child_reads ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) | FILE_FLAG_OVERLAPPED |
                                  FILE_FLAG_FIRST_PIPE_INSTANCE,
                              PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 65536, 65536, 0, nullptr);
    if (!open() || event == nullptr) return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return ::CreateFileW(name.c_str(), child_reads ? GENERIC_READ : GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0,
                         nullptr);
  }

  // Starts a read, or with `pending` a write of its next bytes. A failure, or nothing left to
  // write, closes the stream.
  void start(const std::string_view* pending = nullptr) {
    if (!open() || busy) return;
    if (pending != nullptr && pending->empty()) return close();
    ::ResetEvent(event);
    overlapped = OVERLAPPED{};
    overlapped.hEvent = event;
    BOOL done = FALSE;
    if (pending != nullptr) {
      const auto size = static_cast<DWORD>(std::min(pending->size(), buffer.size()));
      std::copy_n(pending->data(), size, buffer.data());
      done = ::WriteFile(pipe, buffer.data(), size, nullptr, &overlapped);
    } else {
      done = ::ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &overlapped);
    }
    if (done || ::GetLastError() == ERROR_IO_PENDING) {
      busy = true;
    } else {
      close();
    }
  }

  // The bytes the finished operation moved; 0, with the stream closed, when it failed.
  DWORD finish() {
    DWORD moved = 0;
    const bool ok = ::GetOverlappedResult(pipe, &overlapped, &moved, FALSE);
    busy = false;
    if (!ok) close();
    return ok ? moved : 0;
  }
};

}  // namespace

ProcessResult run_program(const std::string& path, const RunOptions& options) {
  ProcessResult result;
  Stream in, out, err;
  std::array<HANDLE, 3> child_ends{in.make(true), out.make(false), err.make(false)};
  auto close_child_ends = [&] {
    for (HANDLE handle : child_ends) {
      if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    }
  };
  // Inheritance limited to the child's three pipe ends.
  SIZE_T size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> storage(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  const bool listed = std::ranges::none_of(child_ends, [](HANDLE h) { return h == INVALID_HANDLE_VALUE; }) &&
                      ::InitializeProcThreadAttributeList(attributes, 1, 0, &size) &&
                      ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, child_ends.data(),
                                                  sizeof(HANDLE) * child_ends.size(), nullptr, nullptr);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = child_ends[0];
  startup.StartupInfo.hStdOutput = child_ends[1];
  startup.StartupInfo.hStdError = child_ends[2];
  startup.lpAttributeList = attributes;

  const std::wstring application = wide(path);
  std::wstring command_line = L"\"" + application + L"\"";
  for (const std::string& argument : options.args) append_argument(command_line += L' ', argument);
  std::wstring environment;
  for (const std::string& entry : options.env) environment += wide(entry) + L'\0';
  environment += std::wstring(environment.empty() ? 2 : 1, L'\0');
  const std::wstring cwd = options.cwd ? wide(*options.cwd) : std::wstring();
  PROCESS_INFORMATION process{};
  const bool started =
      listed && ::CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                 EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT, environment.data(),
                                 options.cwd ? cwd.c_str() : nullptr, &startup.StartupInfo, &process);
  const DWORD start_error = ::GetLastError();
  close_child_ends();
  if (listed) ::DeleteProcThreadAttributeList(attributes);
  if (!started) {
    result.err = "could not start " + path + ": error " + std::to_string(start_error);
    return result;
  }
  ::CloseHandle(process.hThread);

  std::string_view pending = options.stdin_bytes;
  const auto deadline = Clock::now() + options.timeout;
  while (out.open() || err.open()) {
    out.start();
    err.start();
    in.start(&pending);
    std::vector<HANDLE> events;
    std::vector<Stream*> waiting;
    for (Stream* stream : {&out, &err, &in}) {
      if (stream->busy) {
        events.push_back(stream->event);
        waiting.push_back(stream);
      }
    }
    if (events.empty()) continue;
    if (Clock::now() >= deadline) {
      result.timed_out = true;
      break;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const DWORD woke = ::WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE,
                                                static_cast<DWORD>(std::clamp<long long>(left, 0, 1000)));
    if (woke >= WAIT_OBJECT_0 + events.size()) continue;
    Stream& done = *waiting[woke - WAIT_OBJECT_0];
    const DWORD moved = done.finish();
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
    result.timed_out =
        ::WaitForSingleObject(process.hProcess, static_cast<DWORD>(std::max<long long>(left, 0))) != WAIT_OBJECT_0;
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

void kill_process(std::uint32_t pid) {
  const HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid);
  if (process == nullptr) return;
  ::TerminateProcess(process, 1);
  ::CloseHandle(process);
}

}  // namespace tov::testing
