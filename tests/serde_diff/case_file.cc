#include "case_file.h"

#include <fstream>
#include <sstream>

namespace tov::serde_diff {

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::expected<std::vector<Case>, std::string> read_case_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::unexpected("cannot open " + path);
  std::stringstream content;
  content << in.rdbuf();
  const std::string text = content.str();
  std::vector<Case> cases;
  std::size_t number = 0;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + start, end - start);
    ++number;
    if (line.starts_with("t ")) {
      cases.push_back({number, std::string(line.substr(2))});
    } else if (line.starts_with("x ")) {
      std::string digits;
      for (char c : line.substr(2)) {
        if (c != ' ' && c != '\t' && c != '\r') digits.push_back(c);
      }
      Case c{number, {}};
      for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        const int high = hex_value(digits[i]);
        const int low = hex_value(digits[i + 1]);
        if (high < 0 || low < 0) return std::unexpected(path + ":" + std::to_string(number) + ": bad hex");
        c.bytes.push_back(static_cast<char>(high * 16 + low));
      }
      cases.push_back(std::move(c));
    }
    start = end + 1;
  }
  return cases;
}

std::string hex_case_line(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string line = "x ";
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    line.push_back(kHex[b >> 4]);
    line.push_back(kHex[b & 0xF]);
  }
  return line;
}

std::string escape_bytes(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '\\') {
      out.append("\\\\");
    } else if (b >= 0x20 && b < 0x7F) {
      out.push_back(c);
    } else {
      out.append("\\x");
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0xF]);
    }
  }
  return out;
}

}  // namespace tov::serde_diff
