// Paths on Windows: each drive has a current directory of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bin/tov-office-desktop/command_request.h"
#include "json/json.h"
#include "platform/platform.h"
#include "support/env_guard.h"
#include "support/test_support.h"

namespace tov::cli {
namespace {

std::string open_outcome(const std::string& path) {
  auto options = parse_cli_options({"--path", path});
  if (!options) return "parse failed: " + options.error();
  auto request = command_request("open", *options);
  if (!request) return request.error();
  return json::to_compact(request->params).value_or("<unrenderable>");
}

TEST(CommandRequestWin32, ARelativePathGetsTheDirectoryOfItsDrive) {
  testing::TempDir temp;
  testing::WorkingDirGuard here;
  ASSERT_TRUE(here.enter(temp.path()));
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
  for (const auto& [path, sent] : cases) {
    EXPECT_EQ(open_outcome(path), "{\"path\":" + json::to_compact(json::Value(sent)).value_or("?") + "}") << path;
  }
}

}  // namespace
}  // namespace tov::cli
