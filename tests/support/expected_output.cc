#include "support/expected_output.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "json/json.h"

namespace tov::testing {

std::string json_quoted(std::string_view text) {
  std::string out;
  return json::append_string(out, text) ? out : "<unrenderable>";
}

std::string failure_line(std::string_view code, std::string_view message) {
  return "{\"error\":{\"code\":" + json_quoted(code) + ",\"message\":" + json_quoted(message) + "},\"ok\":false}\n";
}

std::string bad_request(std::string_view message) { return failure_line("BadRequest", message); }

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

namespace {

// Outputs of megabytes make unreadable failure messages: the first bytes and the size do.
std::string shorten(const std::string& text) {
  if (text.size() <= 400) return text;
  return text.substr(0, 300) + "... (" + std::to_string(text.size()) + " bytes)";
}

}  // namespace

void expect_result(const ProcessResult& got, const Expected& want, std::string_view context) {
  EXPECT_FALSE(got.timed_out) << context;
  EXPECT_TRUE(got.out == want.out) << context << "\n  out:  " << shorten(got.out) << "\n  want: " << shorten(want.out);
  EXPECT_EQ(got.err, want.err) << context;
  EXPECT_EQ(got.exit_code, want.exit_code) << context;
}

}  // namespace tov::testing
