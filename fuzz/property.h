// What the fuzz targets assert, shared with the unit test that replays their corpora: a
// property checker records the first property an input breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace tov::fuzzing {

class Verdict {
 public:
  // Records `property` as broken unless it holds; returns whether it holds, so that a check
  // stops before it relies on it.
  bool require(bool holds, std::string_view property, std::string_view detail = {}) {
    if (!holds && !broken_) {
      broken_ = std::string(property);
      if (!detail.empty()) *broken_ += "\n  " + std::string(detail.substr(0, 2000));
    }
    return holds;
  }
  const std::optional<std::string>& broken() const { return broken_; }

 private:
  std::optional<std::string> broken_;
};

using Check = void (*)(std::string_view input, Verdict& verdict);

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The fuzzer's view: a broken property ends the run like a crash, so the input is kept.
inline int run_check(Check check, const std::uint8_t* data, std::size_t size) {
  Verdict verdict;
  check(as_text(data, size), verdict);
  if (verdict.broken()) {
    std::fprintf(stderr, "property broken: %s\n", verdict.broken()->c_str());
    std::abort();
  }
  return 0;
}

// True when `message` ends in " at line L column C" with the error's own numbers.
template <class Error>
bool has_position_suffix(const Error& error) {
  std::string suffix =
      " at line " + std::to_string(error.line) + " column " + std::to_string(error.column);
  return error.message.size() > suffix.size() && error.message.ends_with(suffix);
}

}  // namespace tov::fuzzing
