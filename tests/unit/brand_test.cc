#include "cli_protocol/brand.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

namespace tov::protocol {
namespace {

TEST(Brand, SettingsAreTrimmedOrFallBack) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"  Quill  ", "Default", "Quill"},
      {"\t\xE3\x80\x80Quill Board\xC2\xA0\n", "Default", "Quill Board"},
      {"", "Default", "Default"},
      {" \xE2\x80\x83\n", " Default ", " Default "},  // the default is used untrimmed
  };
  for (const auto& [value, fallback, expected] : cases) EXPECT_EQ(brand_setting(value, fallback), expected);
  EXPECT_EQ(brand_product_name(), "Quillboard");
  EXPECT_EQ(brand_app_id(), "com.vantix.office");
  EXPECT_EQ(program_file_name(), "quillboard.exe");
}

TEST(WithExeSuffix, AddsTheSuffixUnlessTheStemEndsInLowerCaseExe) {
  const std::pair<std::string, std::string> cases[] = {
      {"app.exe", "app.exe"}, {".exe", ".exe"}, {"APP.EXE", "APP.EXE.exe"},
      {"exe", "exe.exe"},     {"ex", "ex.exe"}, {"", ".exe"},
  };
  for (const auto& [stem, name] : cases) EXPECT_EQ(with_exe_suffix(stem), name) << stem;
}

}  // namespace
}  // namespace tov::protocol
