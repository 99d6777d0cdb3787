#include "bin/tov-office-desktop/command_request.h"

#include <gtest/gtest.h>

#include <fstream>

#include "json/json.h"
#include "platform/platform.h"
#include "support/env_guard.h"
#include "support/test_support.h"

namespace tov::cli {
namespace {

// A JSON string's inner text, escapes and all.
std::string escaped(std::string_view text) {
  auto quoted = json::to_compact(json::Value(std::string(text)));
  return quoted ? quoted->substr(1, quoted->size() - 2) : std::string("<unrenderable>");
}

void replace_all(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// An absolute path on whichever platform runs the test.
std::string absolute_example() {
  return platform::is_absolute("/abs/r.docx") ? "/abs/r.docx" : "C:\\abs\\r.docx";
}

// "{abs}" is absolute_example() and "{here}" the working directory with a separator after it.
std::string expand(std::string text, bool for_json) {
  auto dir = platform::current_dir();
  const std::string here = platform::join(dir ? *dir : std::string("?"), "");
  replace_all(text, "{abs}", for_json ? escaped(absolute_example()) : absolute_example());
  replace_all(text, "{here}", for_json ? escaped(here) : here);
  return text;
}

// What the command line makes of `args`: "op <params>" or the refusal's text.
std::string outcome(const std::string& command, std::vector<std::string> args) {
  for (std::string& arg : args) arg = expand(arg, false);
  if (auto checked = check_command_options(command, args); !checked) {
    return "check failed: " + checked.error();
  }
  auto options = parse_cli_options(args);
  if (!options) return "parse failed: " + options.error();
  auto request = command_request(command, *options);
  if (!request) return request.error();
  auto text = json::to_compact(request->params);
  return request->op + " " + (text ? *text : "<unrenderable>");
}

struct Case {
  std::string command;
  std::vector<std::string> args;
  std::string expected;
};

void run_cases(std::span<const Case> cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(outcome(c.command, c.args), expand(c.expected, true))
        << c.command << " " << ::testing::PrintToString(c.args);
  }
}

TEST(CommandRequest, PlainCommands) {
  const Case cases[] = {
      {"status", {}, "status {}"},
      {"status", {"--target", "2"}, "status {\"target\":\"2\"}"},
      {"status", {"--client", "x", "--compact"}, "status {}"},
      {"redo", {"--target", "t"}, "redo {\"target\":\"t\"}"},
      {"save", {"--base-revision", "3", "--target", "t"}, "save {\"baseRevision\":3,\"target\":\"t\"}"},
      {"new", {}, "new needs --format"},
      {"new", {"--format", " docx "}, "new {\"format\":\" docx \"}"},
      {"can", {}, "can needs --type"},
      {"can", {"--type", "text.insert", "--target", "1"}, "can {\"commandType\":\"text.insert\",\"target\":\"1\"}"},
      {"operation", {}, "operation needs --operation-id"},
      {"operation", {"--operation-id", "op-1"}, "operation {\"operationId\":\"op-1\"}"},
      {"close", {}, "close {\"force\":false}"},
      {"close", {"--force", "--target", "1"}, "close {\"force\":true,\"target\":\"1\"}"},
      {"select-tab", {}, "select-tab needs --target"},
      {"select-tab", {"--target", "3"}, "selectTab {\"target\":\"3\"}"},
      {"feedback", {}, "feedback needs --title"},
      {"feedback", {"--title", "t"}, "feedback needs --description"},
      {"feedback", {"--title", "t", "--description", "d"}, "feedback {\"description\":\"d\",\"title\":\"t\"}"},
      {"feedback",
       {"--title", "t", "--description", "d", "--type", "nonsense", "--contact", "c"},
       "feedback {\"contact\":\"c\",\"description\":\"d\",\"title\":\"t\",\"type\":\"nonsense\"}"},
  };
  run_cases(cases);
}

TEST(CommandRequest, PathCommands) {
  const Case cases[] = {
      {"open", {}, "open needs --path"},
      {"open", {"--path", "{abs}"}, "open {\"path\":\"{abs}\"}"},
      {"open", {"--path", "a.docx"}, "open {\"path\":\"{here}a.docx\"}"},
      {"open", {"--path", "./a/../b.docx"}, "open {\"path\":\"{here}./a/../b.docx\"}"},
      {"save-as", {}, "save-as needs --path"},
      {"save-as", {"--path", "{abs}", "--base-revision", "007"}, "saveAs {\"baseRevision\":7,\"path\":\"{abs}\"}"},
      {"clone", {}, "clone needs --path"},
      {"clone", {"--path", "{abs}"}, "clone needs --operation-id"},
      {"clone",
       {"--path", "c.docx", "--operation-id", "op"},
       "document.clone {\"operationId\":\"op\",\"path\":\"{here}c.docx\"}"},
      {"clone",
       {"--path", "{abs}", "--operation-id", "op", "--base-revision", "3", "--target", "t"},
       "document.clone "
       "{\"baseRevision\":3,\"operationId\":\"op\",\"path\":\"{abs}\",\"target\":\"t\"}"},
      {"save-verified", {}, "save-verified {\"closeAfterVerified\":false}"},
      {"save-verified",
       {"--close-after-verified", "--path", "v.docx", "--base-revision", "x"},
       "save-verified "
       "{\"baseRevision\":\"x\",\"closeAfterVerified\":true,\"path\":\"{here}v.docx\"}"},
      {"save-verified",
       {"--required-checks", "a,,b"},
       "save-verified {\"closeAfterVerified\":false,\"requiredChecks\":[\"a\",\"\",\"b\"]}"},
      {"save-verified",
       {"--required-checks", " package , reimport,"},
       "save-verified "
       "{\"closeAfterVerified\":false,\"requiredChecks\":[\"package\",\"reimport\",\"\"]}"},
      {"export", {}, "export needs --path"},
      {"export", {"--path", "{abs}"}, "export needs --format"},
      {"export",
       {"--path", "{abs}", "--format", "pdf", "--target", "2"},
       "export {\"format\":\"pdf\",\"path\":\"{abs}\",\"target\":\"2\"}"},
      {"register-media", {}, "register-media needs --path"},
  };
  run_cases(cases);
}

TEST(CommandRequest, Manifest) {
  const Case cases[] = {
      {"manifest", {}, "manifest {}"},
      {"manifest", {"--full"}, "manifest {\"full\":true}"},
      {"manifest", {"--full", "--types", "a"}, "manifest --full cannot be combined with --types or --groups"},
      {"manifest", {"--types", "a,,b"}, "manifest {\"types\":[\"a\",\"b\"]}"},
      {"manifest", {"--types", " a , b,a "}, "manifest {\"types\":[\"a\",\"b\",\"a\"]}"},
      {"manifest", {"--groups", " a ,\tb\u00A0, "}, "manifest {\"groups\":[\"a\",\"b\"]}"},
      {"manifest", {"--groups", " , \u3000 ,"}, "--groups needs at least one comma-separated value"},
      {"manifest", {"--types", ",,"}, "--types needs at least one comma-separated value"},
      {"manifest", {"--types", ", ,", "--groups", ","}, "--types needs at least one comma-separated value"},
      {"manifest", {"--types", "a", "--groups", " , "}, "--groups needs at least one comma-separated value"},
      {"manifest", {"--groups", "x", "--types", "t"}, "manifest {\"groups\":[\"x\"],\"types\":[\"t\"]}"},
  };
  run_cases(cases);
}

TEST(CommandRequest, ExecuteActionBatch) {
  const Case cases[] = {
      {"execute", {}, "execute needs --commands or --file"},
      {"execute", {"--commands", "[]", "--file", "f"}, "pass either --commands or --file, not both"},
      {"execute", {"--commands", "[{\"type\":\"a\"}]"}, "execute {\"commands\":[{\"type\":\"a\"}]}"},
      {"execute",
       {"--commands", "{\"type\":\"a\"}", "--target", "1"},
       "execute {\"commands\":{\"type\":\"a\"},\"target\":\"1\"}"},
      {"execute", {"--commands", "null"}, "execute {\"commands\":null}"},
      {"execute", {"--commands", "\xEF\xBB\xBF \n[1]\n"}, "execute {\"commands\":[1]}"},
      {"execute",
       {"--commands", "[]", "--base-revision", "42", "--summary", "Update summary", "--diagnostics",
        "--operation-id", "id-1", "--options", "{\"b\":1,\"a\":[]}"},
       "execute {\"baseRevision\":42,\"commands\":[],\"diagnostics\":true,\"operationId\":\"id-1\","
       "\"options\":{\"a\":[],\"b\":1},\"summary\":\"Update summary\"}"},
      {"execute", {"--commands", "[]", "--base-revision", "1.5"}, "execute {\"baseRevision\":\"1.5\",\"commands\":[]}"},
      {"execute", {"--commands", "[]", "--options", "{}"}, "execute {\"commands\":[]}"},
      {"execute", {"--commands", "[]", "--options", "[1]"}, "--options must be a JSON object"},
      {"execute",
       {"--commands", "[]", "--options", "x"},
       "--options is not valid JSON: expected value at line 1 column 1"},
      {"execute", {"--commands", "x"}, "the action batch is not valid JSON: expected value at line 1 column 1"},
      // The batch is refused before its options are looked at.
      {"execute",
       {"--commands", "x", "--options", "[1]"},
       "the action batch is not valid JSON: expected value at line 1 column 1"},
  };
  run_cases(cases);
}

TEST(CommandRequest, ExecuteCompleteRequest) {
  const Case cases[] = {
      {"execute",
       {"--request", "{\"commands\":[],\"target\":\"old\"}", "--target", "new"},
       "execute {\"commands\":[],\"target\":\"new\"}"},
      {"execute", {"--request", "{\"commands\":null,\"x\":{\"b\":1}}"}, "execute {\"commands\":null,\"x\":{\"b\":1}}"},
      {"execute", {"--request", "[1]"}, "the execute request must be a JSON object"},
      {"execute", {"--request", "{\"Commands\":[]}"}, "the execute request needs a \u201Ccommands\u201D property"},
      {"execute", {"--request", "x"}, "the execute request is not valid JSON: expected value at line 1 column 1"},
      {"execute",
       {"--request", "x", "--request-file", "y", "--summary", "s"},
       "pass either --request or --request-file, not both"},
      {"execute",
       {"--request", "{}", "--summary", "s"},
       "a complete --request cannot be combined with command or execute-option flags"},
      {"execute",
       {"--request-file", "f", "--diagnostics"},
       "a complete --request cannot be combined with command or execute-option flags"},
      {"execute",
       {"--request", "{}", "--operation-id", "o"},
       "a complete --request cannot be combined with command or execute-option flags"},
      {"execute",
       {"--request", "{}", "--file", "f"},
       "a complete --request cannot be combined with command or execute-option flags"},
  };
  run_cases(cases);
}

TEST(CommandRequest, BaseRevisionIsANumberOnlyWhenPlainAndExact) {
  const std::pair<std::string, std::string> cases[] = {
      {"42", "42"},
      {"007", "7"},
      {"9007199254740991", "9007199254740991"},
      {"0009007199254740991", "9007199254740991"},
      {"9007199254740992", "\"9007199254740992\""},
      {"18446744073709551616", "\"18446744073709551616\""},
      {"-1", "\"-1\""},
      {"1.5", "\"1.5\""},
      {"1e3", "\"1e3\""},
      {" 1", "\" 1\""},
      {"\u0661", "\"\u0661\""},  // a digit, but not an ASCII one
  };
  for (const auto& [text, json] : cases) {
    EXPECT_EQ(outcome("save", {"--base-revision", text}), "save {\"baseRevision\":" + json + "}") << text;
  }
}

TEST(CommandRequest, JsonOptionTextLosesWhiteSpaceAndOneByteOrderMark) {
  const std::string not_json = "the action batch is not valid JSON: ";
  const std::pair<std::string, std::string> cases[] = {
      {"[1]", "execute {\"commands\":[1]}"},
      {"  \n[1]\r\n\t", "execute {\"commands\":[1]}"},
      {"\u3000[1]\u00A0", "execute {\"commands\":[1]}"},
      {"\xEF\xBB\xBF[1]", "execute {\"commands\":[1]}"},
      {" \xEF\xBB\xBF \n {\"a\":1}\n", "execute {\"commands\":{\"a\":1}}"},
      {"\xEF\xBB\xBF\xEF\xBB\xBF[1]", not_json + "expected value at line 1 column 1"},
      {"\xEF\xBB\xBF", not_json + "EOF while parsing a value at line 1 column 0"},
      {"\n\n[1,", not_json + "EOF while parsing a value at line 1 column 3"},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(outcome("execute", {"--commands", text}), expected) << ::testing::PrintToString(text);
  }
}

// Inputs that live in files.
class FileInputs : public ::testing::Test {
 protected:
  std::string write(std::string_view name, std::string_view bytes) {
    const std::string path = platform::join(dir_.path(), name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  testing::TempDir dir_;
};

TEST_F(FileInputs, ExecuteReadsBatchesAndRequestsFromFiles) {
  const std::string batch = write("batch.json", "\n\xEF\xBB\xBF\n[{\"type\":\"context.get\"}]\n\n");
  const std::string empty = write("empty.json", "");
  const std::string blank = write("blank.json", " \r\n\t");
  const std::string request = write("request.json", "{\"commands\":[],\"summary\":\"s\"}");
  const std::string latin1 = write("latin1.json", "{\"commands\":\"\xE9\"}");
  const std::string missing = platform::join(dir_.path(), "missing.json");
  const std::string not_json = "the action batch is not valid JSON: EOF while parsing a value at line 1 column 0";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--file", batch}, "execute {\"commands\":[{\"type\":\"context.get\"}]}"},
      {{"--file", empty}, not_json},
      {{"--file", blank}, not_json},
      {{"--file", missing}, "could not read " + missing + ": " + platform::read_file(missing).error().message},
      {{"--request-file", request, "--target", "2"}, "execute {\"commands\":[],\"summary\":\"s\",\"target\":\"2\"}"},
      {{"--request-file", latin1}, "could not read " + latin1 + ": stream did not contain valid UTF-8"},
      {{"--request", request}, "--request expects inline JSON or '-'; use --request-file for a path"},
      // A folder is no regular file, so its name is taken as JSON text.
      {{"--request", dir_.path()}, "the execute request is not valid JSON: expected value at line 1 column 1"},
  };
  for (const auto& [args, expected] : cases) EXPECT_EQ(outcome("execute", args), expected) << args[1];
}

TEST_F(FileInputs, RegisterMediaSendsTheCanonicalPath) {
  const std::string image = write("image.png", "png");
  auto canonical = platform::canonicalize(image);
  ASSERT_TRUE(canonical.has_value());
  EXPECT_EQ(
      outcome("register-media", {"--path", image, "--target", "1"}),
      "mediaRegister {\"source\":{\"path\":\"" + escaped(*canonical) + "\"},\"target\":\"1\"}");

  const std::string missing = platform::join(dir_.path(), "nothing.png");
  EXPECT_EQ(
      outcome("register-media", {"--path", missing}),
      "could not resolve " + missing + ": " + platform::canonicalize(missing).error().message);
}

// Any stand-in for such a folder name would name another folder, which may even exist.
TEST_F(FileInputs, AWorkingFolderThatIsNotValidUnicodeIsRefusedNotReplaced) {
  testing::WorkingDirGuard here;
  if (!here.enter_invalid_unicode(dir_.path())) GTEST_SKIP() << "this file system has no such names";
  ASSERT_TRUE(platform::write_file_atomic("x.png", "png").has_value());
  const std::string not_unicode = ": the current directory is not valid Unicode";
  const Case cases[] = {
      {"export", {"--path", "r.pdf", "--format", "pdf"}, "could not resolve r.pdf" + not_unicode},
      {"open", {"--path", "~/a.docx"}, "could not resolve ~/a.docx" + not_unicode},
      {"save-verified", {"--path", "v.docx"}, "could not resolve v.docx" + not_unicode},
      {"register-media", {"--path", "x.png"}, "could not resolve x.png: the canonical path is not valid Unicode"},
      {"open", {"--path", "{abs}"}, "open {\"path\":\"{abs}\"}"},
  };
  run_cases(cases);
  EXPECT_TRUE(platform::remove_file("x.png").has_value());
}

}  // namespace
}  // namespace tov::cli
