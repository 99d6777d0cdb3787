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

// The working directory for one test, back where it was when the guard goes.
class WorkingDirGuard {
 public:
  WorkingDirGuard();
  ~WorkingDirGuard();
  WorkingDirGuard(const WorkingDirGuard&) = delete;
  WorkingDirGuard& operator=(const WorkingDirGuard&) = delete;

  // False when `dir` cannot be entered.
  bool enter(const std::string& dir);
  // Makes a folder in `parent` whose name is not valid Unicode on this platform and enters
  // it; false when the file system refuses such a name (Wine's does). The guard removes the
  // folder, which must be empty by then.
  bool enter_invalid_unicode(const std::string& parent);

 private:
  std::string before_;
  std::optional<std::string> made_in_;  // the parent of the folder made, when one was
};

}  // namespace tov::testing
