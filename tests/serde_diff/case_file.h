// Case files of the differential test: one case per line, "t TEXT" for a text as
// written, "x HEX" for any bytes; lines starting with "#" and blank lines are skipped.
#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace tov::serde_diff {

struct Case {
  std::size_t line = 0;
  std::string bytes;
};

std::expected<std::vector<Case>, std::string> read_case_file(const std::string& path);

// The "x HEX" line for `bytes`, without the line feed.
std::string hex_case_line(std::string_view bytes);

// Printable ASCII as is, the backslash doubled, every other byte as \xNN: how both
// sides print texts, so that outputs compare line by line.
std::string escape_bytes(std::string_view bytes);

}  // namespace tov::serde_diff
