// The Windows side of the platform layer: error texts, path rules, text conversion of
// arguments and variables, and what a started process gets.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "support/env_guard.h"
#include "support/test_support.h"

namespace tov::platform {
namespace {

using namespace std::chrono_literals;

// Wine's own texts and habits differ from Windows' in places.
bool under_wine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(PlatformWin32Errors, TextsEndWithTheCodeAndKindsFollowIt) {
  struct Case {
    int code;
    ErrorKind kind;
  };
  const Case cases[] = {
      {WSAECONNREFUSED, ErrorKind::ConnectionRefused}, {ERROR_FILE_NOT_FOUND, ErrorKind::NotFound},
      {ERROR_PATH_NOT_FOUND, ErrorKind::NotFound},     {WSAEWOULDBLOCK, ErrorKind::WouldBlock},
      {WSAETIMEDOUT, ErrorKind::TimedOut},             {ERROR_ACCESS_DENIED, ErrorKind::PermissionDenied},
      {WSAECONNRESET, ErrorKind::ConnectionReset},     {ERROR_BROKEN_PIPE, ErrorKind::BrokenPipe},
      {ERROR_INVALID_PARAMETER, ErrorKind::InvalidInput}, {ERROR_DIRECTORY, ErrorKind::Other},
  };
  for (const Case& c : cases) {
    const IoError error = os_error(c.code);
    const std::string suffix = " (os error " + std::to_string(c.code) + ")";
    EXPECT_EQ(error.kind, c.kind) << c.code;
    ASSERT_TRUE(error.message.ends_with(suffix)) << error.message;
    const std::string text = error.message.substr(0, error.message.size() - suffix.size());
    EXPECT_FALSE(text.empty()) << c.code;
    EXPECT_FALSE(text.ends_with("\n") || text.ends_with("\r") || text.ends_with(" ")) << error.message;
  }
  EXPECT_EQ(os_error(ERROR_FILE_NOT_FOUND).message,
            under_wine() ? "File not found. (os error 2)"
                         : "The system cannot find the file specified. (os error 2)");
}

TEST(PlatformWin32Errors, AResetReachesThePeerAsConnectionReset) {
  // Wine closes every socket gracefully, whatever its linger time.
  if (under_wine()) GTEST_SKIP() << "Wine sends no reset on close";
  auto pair = testing::connected_pair();
  pair.server.close_with_reset();
  char buffer[16];
  auto got = pair.client.receive(buffer);
  ASSERT_FALSE(got.has_value());
  EXPECT_EQ(got.error().kind, ErrorKind::ConnectionReset);
  EXPECT_TRUE(got.error().message.ends_with(" (os error 10054)")) << got.error().message;
}

TEST(PlatformWin32Errors, ConnectPastItsLimitTimesOut) {
  // A listener whose queue is full drops further handshakes, so a connect waits for its
  // limit. Windows may queue a few more than asked for; the loop fills what there is.
  auto keep = Listener::bind_loopback();  // starts Winsock for the raw calls below
  ASSERT_TRUE(keep.has_value());
  const SOCKET listening = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(listening, INVALID_SOCKET);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(::listen(listening, 1), 0);
  ASSERT_EQ(::getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length), 0);
  std::vector<Socket> queued;
  IoResult<Socket> socket;
  for (int i = 0; i < 300 && socket; ++i) {
    socket = Socket::connect(SocketAddress::loopback(ntohs(address.sin_port)), 300ms);
    if (socket) queued.push_back(std::move(*socket));
  }
  ::closesocket(listening);
  ASSERT_FALSE(socket.has_value());
  EXPECT_EQ(socket.error().kind, ErrorKind::TimedOut);
  EXPECT_EQ(socket.error().message, "connection timed out");
}

TEST(PlatformWin32Errors, AReceiveTimeoutIsTimedOut) {
  auto pair = testing::connected_pair();
  ASSERT_TRUE(pair.client.set_receive_timeout(50ms).has_value());
  char buffer[4];
  auto got = pair.client.receive(buffer);
  ASSERT_FALSE(got.has_value());
  EXPECT_EQ(got.error().kind, ErrorKind::TimedOut);
  EXPECT_EQ(got.error().message, os_error(WSAETIMEDOUT).message);
}

TEST(PlatformWin32Paths, AbsoluteFollowsWindowsRules) {
  for (const char* path : {"C:\\x", "c:/x", "C:\\", "\\\\server\\share", "\\\\server\\share\\x", "//server/share/x",
                           "\\\\?\\C:\\x", "\\\\?\\UNC\\server\\share", "\\\\.\\pipe\\name", "\\\\?\\Volume{x}"}) {
    EXPECT_TRUE(is_absolute(path)) << path;
  }
  for (const char* path : {"", "x", "\\x", "/x", "C:", "C:x", "..\\x", "\\\\server", "~\\x"}) {
    EXPECT_FALSE(is_absolute(path)) << path;
  }
}

TEST(PlatformWin32Paths, JoinUsesBackslashesAndKeepsWindowsForms) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"C:\\Users\\ann\\AppData\\Roaming", "com.vantix.office", "C:\\Users\\ann\\AppData\\Roaming\\com.vantix.office"},
      {"C:\\work\\", "doc.docx", "C:\\work\\doc.docx"},
      {"C:\\work/", "doc.docx", "C:\\work/doc.docx"},
      {"", "AppData", "AppData"},
      {"C:\\work", "D:\\other", "D:\\other"},
      {"C:\\work", "D:rel", "D:rel"},
      {"C:\\work", "\\root.txt", "C:\\root.txt"},
      {"\\\\server\\share\\dir", "\\x", "\\\\server\\share\\x"},
      {"C:", "x", "C:x"},
      {"C:\\work", "a/b", "C:\\work\\a/b"},
      {"Z:\\build", "quillboard-app.exe", "Z:\\build\\quillboard-app.exe"},
  };
  for (const auto& [base, component, joined] : cases) EXPECT_EQ(join(base, component), joined) << base;
}

TEST(PlatformWin32Paths, ParentFollowsWindowsRules) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"Z:\\build\\quillboard.exe", "Z:\\build"},
      {"C:\\a", "C:\\"},
      {"C:/a/b/", "C:/a"},
      {"C:\\", std::nullopt},
      {"C:", std::nullopt},
      {"C:a", "C:"},
      {"\\\\server\\share\\x", "\\\\server\\share\\"},
      {"\\\\server\\share", std::nullopt},
      {"\\\\?\\C:\\x\\y", "\\\\?\\C:\\x"},
      {"\\\\?\\C:\\", std::nullopt},
      {"a", ""},
      {"", std::nullopt},
      {".", ""},
      {"a\\.\\b", "a"},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(parent(path), expected) << path;
}

TEST(PlatformWin32Files, CanonicalFormIsTheExtendedLengthOne) {
  testing::TempDir temp;
  const std::string path = join(temp.path(), "picture.png");
  ASSERT_TRUE(write_file_atomic(path, "png").has_value());
  auto canonical = canonicalize(path);
  ASSERT_TRUE(canonical.has_value()) << canonical.error().message;
  EXPECT_TRUE(canonical->starts_with("\\\\?\\")) << *canonical;
  EXPECT_TRUE(canonical->ends_with("\\picture.png")) << *canonical;
  // A relative text is taken from the current folder.
  auto cwd = current_dir();
  ASSERT_TRUE(cwd.has_value());
  ASSERT_TRUE(::SetCurrentDirectoryW(std::wstring(temp.path().begin(), temp.path().end()).c_str()));
  auto relative = canonicalize("picture.png");
  ::SetCurrentDirectoryW(std::wstring(cwd->begin(), cwd->end()).c_str());
  ASSERT_TRUE(relative.has_value()) << relative.error().message;
  EXPECT_EQ(*relative, *canonical);
}

TEST(PlatformWin32Text, VariablesWithAnUnpairedSurrogateAreNotText) {
  testing::EnvGuard env;
  env.set("TOV_PLATFORM_GOOD", "caf\xc3\xa9 \xf0\x9f\x93\x84");
  env.set("TOV_PLATFORM_EMPTY", "");
  env.set_invalid_unicode("TOV_PLATFORM_BAD");
  env.unset("TOV_PLATFORM_UNSET");
  EXPECT_EQ(env_var("TOV_PLATFORM_GOOD"), "caf\xc3\xa9 \xf0\x9f\x93\x84");
  EXPECT_EQ(env_var("TOV_PLATFORM_EMPTY"), "");
  EXPECT_EQ(env_var("TOV_PLATFORM_BAD"), std::nullopt);
  EXPECT_EQ(env_path("TOV_PLATFORM_BAD"), "agent\xef\xbf\xbd");
  EXPECT_EQ(env_var("TOV_PLATFORM_UNSET"), std::nullopt);
  EXPECT_EQ(env_path("TOV_PLATFORM_UNSET"), std::nullopt);
}

// Runs this test binary again as a child, with one helper test selected.
testing::ProcessResult run_helper(const std::string& helper, std::vector<std::string> args,
                                  std::vector<std::string> env = {}) {
  auto self = current_exe();
  EXPECT_TRUE(self.has_value());
  testing::RunOptions options;
  options.args = {"--gtest_filter=PlatformWin32Helper." + helper};
  options.args.insert(options.args.end(), args.begin(), args.end());
  options.env = std::move(env);
  if (auto root = env_var("SystemRoot")) options.env.push_back("SystemRoot=" + *root);
  options.timeout = 30s;
  return testing::run_program(*self, options);
}

TEST(PlatformWin32Text, ArgumentsComeFromTheWideCommandLine) {
  struct Case {
    std::string argument;
    std::string printed;
  };
  const Case cases[] = {
      {"caf\xc3\xa9 \xf0\x9f\x93\x84", "ok caf\xc3\xa9 \xf0\x9f\x93\x84"},
      {"with \"quotes\" and \\ back\\\\", "ok with \"quotes\" and \\ back\\\\"},
      {"", "ok "},
      {"\xed\xa0\x80", "argument 2 is not valid Unicode"},
  };
  for (const Case& c : cases) {
    const auto result = run_helper("PrintLastArgument", {c.argument});
    EXPECT_FALSE(result.timed_out);
    EXPECT_NE(result.out.find("[" + c.printed + "]"), std::string::npos) << result.out << result.err;
  }
}

TEST(PlatformWin32Helper, PrintLastArgument) {
  auto args = arguments(0, nullptr);
  if (!args) {
    std::printf("[%s]\n", args.error().c_str());
  } else if (args->size() > 2) {
    std::printf("[ok %s]\n", args->back().c_str());
  }
}

TEST(PlatformWin32Process, AProgramThatStartsTheAppStillReturnsAtOnce) {
  // The helper starts a copy of this binary through spawn_detached; the copy must not
  // hold the pipes that run_program reads, or the run would last as long as the copy.
  testing::TempDir temp;
  const std::string report = join(temp.path(), "report");
  const auto started = std::chrono::steady_clock::now();
  const auto result = run_helper("SpawnSelf", {}, {"TOV_PLATFORM_REPORT=" + report});
  EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
  std::optional<std::string> lines;
  for (int i = 0; i < 1000 && !lines; ++i) {
    if (auto bytes = read_file(report); bytes && bytes->ends_with("\n")) {
      lines = *bytes;
    } else {
      std::this_thread::sleep_for(10ms);
    }
  }
  ASSERT_TRUE(lines.has_value());
  testing::kill_process(static_cast<std::uint32_t>(std::stoul(*lines)));
  // The copy saw the null device (a character device, not a console) on all three
  // streams, its command line held its own name alone, and it is attached to no console,
  // so that Ctrl-C in the helper's console or closing that window cannot end it.
  EXPECT_TRUE(lines->ends_with(" device device device 1 no-console\n")) << *lines;
}

// Started with TOV_PLATFORM_REPORT set: starts a detached copy of this binary, which finds
// TOV_PLATFORM_CHILD in the environment it inherits.
TEST(PlatformWin32Helper, SpawnSelf) {
  const auto report = env_path("TOV_PLATFORM_REPORT");
  if (!report) GTEST_SKIP() << "helper of AProgramThatStartsTheAppStillReturnsAtOnce";
  auto self = current_exe();
  ASSERT_TRUE(self.has_value());
  // A console of its own to keep the copy out of: Wine starts the helper with a placeholder
  // that the copy could not share anyway.
  DWORD console_process = 0;
  if (::GetConsoleProcessList(&console_process, 1) == 0) {
    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole());
  }
  testing::EnvGuard env;
  env.set("TOV_PLATFORM_CHILD", *report);
  ASSERT_TRUE(spawn_detached(*self).has_value());
}

const char* stream_kind(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return "none";
  if (::GetConsoleMode(handle, &mode)) return "console";
  return ::GetFileType(handle) == FILE_TYPE_CHAR ? "device" : "other";
}

// The detached copy: before any test runs, it records its id, its streams, its argument
// count and whether it is attached to a console, then waits to be ended by the test that
// started the helper.
[[maybe_unused]] const bool kDetachedCopy = [] {
  const auto report = env_path("TOV_PLATFORM_CHILD");
  if (!report) return false;
  int count = 0;
  ::LocalFree(::CommandLineToArgvW(::GetCommandLineW(), &count));
  DWORD console_process = 0;
  const bool console = ::GetConsoleProcessList(&console_process, 1) != 0;
  const std::string line = std::to_string(process_id()) + " " + stream_kind(STD_INPUT_HANDLE) + " " +
                           stream_kind(STD_OUTPUT_HANDLE) + " " + stream_kind(STD_ERROR_HANDLE) + " " +
                           std::to_string(count) + (console ? " console\n" : " no-console\n");
  (void)write_file_atomic(*report, line);
  ::Sleep(30000);
  ::ExitProcess(0);
}();

}  // namespace
}  // namespace tov::platform
