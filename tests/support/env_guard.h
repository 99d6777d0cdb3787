// Changes to the process environment for one test, undone when the guard goes.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tov::testing {

class EnvGuard {
 public:
  EnvGuard() = default;
  ~EnvGuard();
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;

  void set(const std::string& name, const std::string& value);
  void unset(const std::string& name);
  // Sets a value that is not valid Unicode on this platform.
  void set_invalid_unicode(const std::string& name);

 private:
  void remember(const std::string& name);

  // Each variable's value before its first change, none when it was unset.
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace tov::testing
