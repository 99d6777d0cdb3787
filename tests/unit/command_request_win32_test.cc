// Paths on Windows: each drive has a current directory of its own, and a folder name may hold
// an unpaired surrogate, which no UTF-8 text can carry.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "bin/tov-office-desktop/command_request.h"
#include "json/json.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace tov::cli {
namespace {

std::wstring wide(const std::string& text) {
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
  return out;
}

// Works in `dir` for one test and goes back afterwards.
class InFolder {
 public:
  explicit InFolder(const std::wstring& dir) : before_(wide(platform::current_dir().value_or("C:\\"))) {
    ok_ = ::SetCurrentDirectoryW(dir.c_str()) != 0;
  }
  ~InFolder() { ::SetCurrentDirectoryW(before_.c_str()); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;
  bool ok() const { return ok_; }

 private:
  std::wstring before_;
  bool ok_ = false;
};

std::string outcome(const std::string& command, const std::vector<std::string>& args) {
  auto options = parse_cli_options(args);
  if (!options) return "parse failed: " + options.error();
  auto request = command_request(command, *options);
  if (!request) return request.error();
  return request->op + " " + json::to_compact(request->params).value_or("<unrenderable>");
}

std::string open_request(const std::string& path) {
  return "open {\"path\":" + json::to_compact(json::Value(path)).value_or("?") + "}";
}

TEST(CommandRequestWin32, ARelativePathGetsTheDirectoryOfItsDrive) {
  testing::TempDir temp;
  InFolder here(wide(temp.path()));
  ASSERT_TRUE(here.ok());
  const std::string cwd = platform::current_dir().value_or("?");
  const std::string drive = cwd.substr(0, 2);
  // A drive that is not the current one and whose own directory nobody set: its root.
  const std::string other = drive == "Q:" ? "R:" : "Q:";
  const std::pair<std::string, std::string> cases[] = {
      {drive + "out.docx", cwd + "\\out.docx"},
      {drive + "sub/../out.docx", cwd + "\\sub/../out.docx"},
      {other + "out.docx", other + "\\out.docx"},
      {"\\out.docx", drive + "\\out.docx"},
      {"out.docx", cwd + "\\out.docx"},
  };
  for (const auto& [path, sent] : cases) EXPECT_EQ(outcome("open", {"--path", path}), open_request(sent)) << path;
}

TEST(CommandRequestWin32, AFolderNameWithAnUnpairedSurrogateIsRefusedNotReplaced) {
  testing::TempDir temp;
  const std::wstring folder = wide(temp.path()) + L"\\caf" + static_cast<wchar_t>(0xD800);
  if (!::CreateDirectoryW(folder.c_str(), nullptr)) GTEST_SKIP() << "no such folder name here";
  ::CloseHandle(::CreateFileW((folder + L"\\x.png").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  InFolder here(folder);
  ASSERT_TRUE(here.ok());
  EXPECT_EQ(outcome("export", {"--path", "r.pdf", "--format", "pdf"}),
            "could not resolve r.pdf: the current directory is not valid Unicode");
  EXPECT_EQ(outcome("register-media", {"--path", "x.png"}),
            "could not resolve x.png: the canonical path is not valid Unicode");
  ::DeleteFileW((folder + L"\\x.png").c_str());
  ::SetCurrentDirectoryW(wide(temp.path()).c_str());
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace tov::cli
