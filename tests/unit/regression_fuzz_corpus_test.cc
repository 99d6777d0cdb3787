// Every input of the fuzz corpora, seeds and past findings alike, replayed through the same
// properties the fuzz targets check, so that the ordinary test run (and the sanitizer run)
// keeps them true without clang or libFuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

#include "../../fuzz/agent_name_property.h"
#include "../../fuzz/cli_options_property.h"
#include "../../fuzz/json_parse_property.h"
#include "../../fuzz/loopback_address_property.h"
#include "../../fuzz/mcp_serve_property.h"
#include "../../fuzz/records_property.h"
#include "cli_protocol/app_launch.h"
#include "support/env_guard.h"
#include "support/row_name.h"
#include "support/test_support.h"

namespace tov::testing {
namespace {

namespace fs = std::filesystem;

fs::path corpus_dir(std::string_view target) {
  return fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz" / "corpus" /
         target;
}

std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Target {
  const char* name;
  fuzzing::Check check;
};

void PrintTo(const Target& target, std::ostream* os) { *os << target.name; }

class FuzzCorpus : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzCorpus, EveryInputKeepsItsProperties) {
  const Target& target = GetParam();
  // The serve loop must find no app: an empty APPDATA, and no app beside this binary.
  TempDir app_data;
  EnvGuard env;
  env.set("APPDATA", app_data.path());
  ASSERT_FALSE(protocol::app_executable_path().has_value()) << "an app lies beside the tests";

  std::vector<fs::path> inputs;
  for (const auto& entry : fs::directory_iterator(corpus_dir(target.name))) {
    inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  ASSERT_FALSE(inputs.empty()) << corpus_dir(target.name);
  for (const fs::path& input : inputs) {
    fuzzing::Verdict verdict;
    target.check(read_bytes(input), verdict);
    EXPECT_FALSE(verdict.broken().has_value())
        << input.filename() << ": " << verdict.broken().value_or("");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Targets, FuzzCorpus,
    ::testing::Values(Target{"json_parse", fuzzing::check_json_parse},
                      Target{"records", fuzzing::check_records},
                      Target{"loopback_address", fuzzing::check_loopback_address},
                      Target{"cli_options", fuzzing::check_cli_options},
                      Target{"mcp_serve", fuzzing::check_mcp_serve},
                      Target{"agent_name", fuzzing::check_agent_name}),
    row_name);

}  // namespace
}  // namespace tov::testing
