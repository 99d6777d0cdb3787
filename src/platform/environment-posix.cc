// Environment variables. POSIX values are bytes; a value counts as text only when it is
// valid UTF-8.
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "text/utf8.h"

namespace tov::platform {

std::optional<std::string> env_var(const char* name) {
  auto value = env_path(name);
  if (!value || !text::is_valid_utf8(*value)) return std::nullopt;
  return value;
}

std::optional<std::string> env_path(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}


}  // namespace tov::platform
