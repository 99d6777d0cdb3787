// Path texts on POSIX: "/" is the only separator and the only root; the rules follow
// Rust's std::path so that joined and parent paths read the same as there.
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tov::platform {
namespace {

// Where the components begin: after the root, or after a leading "." component.
std::size_t length_before_body(std::string_view path) {
  if (path.starts_with('/')) return 1;
  if (path == "." || path.starts_with("./")) return 1;
  return 0;
}

bool is_skipped(std::string_view component) { return component.empty() || component == "."; }

// Removes the last component of `body` (empty components and "." count too) and returns it.
std::string_view take_last(std::string_view& body) {
  const std::size_t slash = body.rfind('/');
  const std::string_view last = slash == std::string_view::npos ? body : body.substr(slash + 1);
  body.remove_suffix(slash == std::string_view::npos ? body.size() : last.size() + 1);
  return last;
}

}  // namespace

bool is_absolute(std::string_view path) { return path.starts_with('/'); }

std::string join(std::string_view base, std::string_view component) {
  if (is_absolute(component)) return std::string(component);
  std::string joined(base);
  if (!joined.empty() && !joined.ends_with('/')) joined += '/';
  joined += component;
  return joined;
}

std::optional<std::string> parent(std::string_view path) {
  const std::size_t before = length_before_body(path);
  std::string_view body = path.substr(before);
  while (!body.empty()) {
    if (is_skipped(take_last(body))) continue;
    // What is left is the parent, less trailing separators and "." components.
    for (std::string_view rest = body; !rest.empty();) {
      if (!is_skipped(take_last(rest))) break;
      body = rest;
    }
    return std::string(path.substr(0, before + body.size()));
  }
  // Only the root or a leading "." is left: the root has no parent, "." has the empty one.
  if (before == 1 && !path.starts_with('/')) return std::string();
  return std::nullopt;
}

}  // namespace tov::platform
