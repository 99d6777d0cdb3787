// What a fuzz target asserts: a broken property is a finding, reported and ended like a crash.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace tov::fuzzing {

inline void require(bool holds, std::string_view property, std::string_view detail = {}) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %.*s\n  %.*s\n", static_cast<int>(property.size()),
               property.data(), static_cast<int>(detail.size()), detail.data());
  std::abort();
}

inline std::string_view as_text(const unsigned char* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// True when `message` ends in " at line L column C" with the error's own numbers.
template <class Error>
bool has_position_suffix(const Error& error) {
  std::string suffix =
      " at line " + std::to_string(error.line) + " column " + std::to_string(error.column);
  return error.message.size() > suffix.size() && error.message.ends_with(suffix);
}

}  // namespace tov::fuzzing
