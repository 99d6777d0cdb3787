#include <sys/stat.h>
#include <unistd.h>

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

namespace {

const char kInvalidFolder[] = "caf\xE9";

std::string working_dir() {
  char buffer[4096];
  return ::getcwd(buffer, sizeof buffer) != nullptr ? buffer : "/";
}

}  // namespace

WorkingDirGuard::WorkingDirGuard() : before_(working_dir()) {}

WorkingDirGuard::~WorkingDirGuard() {
  (void)::chdir(before_.c_str());
  if (made_in_) ::rmdir((*made_in_ + "/" + kInvalidFolder).c_str());
}

bool WorkingDirGuard::enter(const std::string& dir) { return ::chdir(dir.c_str()) == 0; }

bool WorkingDirGuard::enter_invalid_unicode(const std::string& parent) {
  const std::string folder = parent + "/" + kInvalidFolder;
  if (::mkdir(folder.c_str(), 0700) != 0) return false;
  made_in_ = parent;
  return enter(folder);
}

}  // namespace tov::testing
