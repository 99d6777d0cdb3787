#include <cstdlib>

#include "support/env_guard.h"

namespace tov::testing {

namespace {

std::optional<std::string> raw_value(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void restore(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

}  // namespace

EnvGuard::~EnvGuard() {
  // Undo in reverse so that the oldest value wins.
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) restore(it->first, it->second);
}

void EnvGuard::remember(const std::string& name) {
  for (const auto& entry : saved_) {
    if (entry.first == name) return;
  }
  saved_.emplace_back(name, raw_value(name));
}

void EnvGuard::set(const std::string& name, const std::string& value) {
  remember(name);
  ::setenv(name.c_str(), value.c_str(), 1);
}

void EnvGuard::unset(const std::string& name) {
  remember(name);
  ::unsetenv(name.c_str());
}

void EnvGuard::set_invalid_unicode(const std::string& name) { set(name, "agent\xFF"); }

}  // namespace tov::testing
