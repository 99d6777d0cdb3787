// Paths on POSIX, whose folder names are bytes: a name that is not UTF-8 cannot be sent.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "bin/tov-office-desktop/command_request.h"
#include "json/json.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace tov::cli {
namespace {

// Works in `dir` for one test and goes back afterwards.
class InFolder {
 public:
  explicit InFolder(const std::string& dir) : before_(platform::current_dir().value_or("/")) {
    ok_ = ::chdir(dir.c_str()) == 0;
  }
  ~InFolder() { (void)::chdir(before_.c_str()); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string before_;
  bool ok_ = false;
};

std::string outcome(const std::string& command, const std::vector<std::string>& args) {
  auto options = parse_cli_options(args);
  if (!options) return "parse failed: " + options.error();
  auto request = command_request(command, *options);
  if (!request) return request.error();
  return request->op + " " + json::to_compact(request->params).value_or("<unrenderable>");
}

TEST(CommandRequestPosix, AFolderNameThatIsNotUtf8IsRefusedNotReplaced) {
  testing::TempDir temp;
  const std::string folder = platform::join(temp.path(), "caf\xe9");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  std::ofstream(platform::join(folder, "x.png")) << "png";
  InFolder here(folder);
  ASSERT_TRUE(here.ok());
  const std::string not_unicode = ": the current directory is not valid Unicode";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"export", "--path", "r.pdf", "--format", "pdf"}, "could not resolve r.pdf" + not_unicode},
      {{"open", "--path", "~/a.docx"}, "could not resolve ~/a.docx" + not_unicode},
      {{"save-verified", "--path", "v.docx"}, "could not resolve v.docx" + not_unicode},
      {{"register-media", "--path", "x.png"},
       "could not resolve x.png: the canonical path is not valid Unicode"},
      // An absolute path owes nothing to the working folder.
      {{"open", "--path", "/abs/r.docx"}, "open {\"path\":\"/abs/r.docx\"}"},
  };
  for (const auto& [args, expected] : cases) {
    const std::vector<std::string> options(args.begin() + 1, args.end());
    EXPECT_EQ(outcome(args[0], options), expected) << args[0] << " " << args[2];
  }
}

}  // namespace
}  // namespace tov::cli
