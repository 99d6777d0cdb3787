// What the program prints, built the way the end-to-end tests compare it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"

namespace tov::testing {

// The message of the Timeout answer when the app stays silent past the deadline.
inline constexpr std::string_view kTimeoutMessage =
    "The app did not answer within the operation deadline. The request may still complete; "
    "inspect the destination file before retrying an export, or status before retrying a write.";

// `text` as a JSON string, quotation marks included.
std::string json_quoted(std::string_view text);

// A failure line as the command line prints it on stderr, line feed included.
std::string failure_line(std::string_view code, std::string_view message);
std::string bad_request(std::string_view message);

// The lines of `text`, without their line feeds.
std::vector<std::string> lines_of(std::string_view text);

// A whole run: stdout, stderr and exit code.
struct Expected {
  std::string out;
  std::string err;
  int exit_code = 0;
};

// Checks all three and that the run ended by itself; `context` names the case.
void expect_result(const ProcessResult& got, const Expected& want, std::string_view context);

}  // namespace tov::testing
