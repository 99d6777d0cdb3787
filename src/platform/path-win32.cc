// Path texts on Windows, read the way Rust's std::path reads them: an optional prefix (a
// drive "C:", a share "\\server\share", a device "\\.\name" or a verbatim "\\?\..." form),
// then an optional root separator, then components. Both "\" and "/" separate, except
// after a verbatim prefix, where only "\" does.
#include <optional>
#include <string>
#include <string_view>

#include "platform/native-win32.h"

namespace tov::platform {
namespace {

enum class PrefixKind { None, Disk, Unc, Device, Verbatim, VerbatimDisk, VerbatimUnc };

struct Prefix {
  PrefixKind kind = PrefixKind::None;
  std::size_t length = 0;
  bool verbatim() const {
    return kind == PrefixKind::Verbatim || kind == PrefixKind::VerbatimDisk ||
           kind == PrefixKind::VerbatimUnc;
  }
  // Every prefix but a drive letter brings its root along.
  bool implicit_root() const { return kind != PrefixKind::None && kind != PrefixKind::Disk; }
};

bool is_separator(char c, bool verbatim) { return c == '\\' || (!verbatim && c == '/'); }

// Length of the next component of `text` starting at `from`, and where the one after begins.
std::pair<std::size_t, std::size_t> next_component(std::string_view text, std::size_t from, bool verbatim) {
  std::size_t end = from;
  while (end < text.size() && !is_separator(text[end], verbatim)) ++end;
  return {end - from, end < text.size() ? end + 1 : end};
}

// The start of a path compares "/" as "\" (only the first bytes are looked at this way).
bool starts_with_marker(std::string_view text, std::string_view marker) {
  if (text.size() < marker.size()) return false;
  for (std::size_t i = 0; i < marker.size(); ++i) {
    const char c = text[i] == '/' ? '\\' : text[i];
    if (c != marker[i]) return false;
  }
  return true;
}

Prefix parse_prefix(std::string_view path) {
  if (starts_with_marker(path, "\\\\?\\")) {
    const std::size_t start = 4;
    if (starts_with_marker(path.substr(start), "UNC\\")) {
      auto [server, after_server] = next_component(path, start + 4, true);
      auto [share, after_share] = next_component(path, after_server, true);
      (void)server;
      return {PrefixKind::VerbatimUnc, after_server + share};
    }
    auto [length, after] = next_component(path, start, true);
    (void)after;
    const std::string_view first = path.substr(start, length);
    if (first.size() == 2 && win32::is_drive(first)) return {PrefixKind::VerbatimDisk, start + 2};
    return {PrefixKind::Verbatim, start + length};
  }
  if (starts_with_marker(path, "\\\\.\\")) {
    auto [length, after] = next_component(path, 4, false);
    (void)after;
    return {PrefixKind::Device, 4 + length};
  }
  if (starts_with_marker(path, "\\\\")) {
    auto [server, after_server] = next_component(path, 2, false);
    auto [share, after_share] = next_component(path, after_server, false);
    (void)after_share;
    if (server == 0 || share == 0) return {};
    return {PrefixKind::Unc, after_server + share};
  }
  if (win32::is_drive(path)) return {PrefixKind::Disk, 2};
  return {};
}

struct Parsed {
  Prefix prefix;
  bool physical_root = false;
  // Where the components begin: after the prefix, the root and a leading "." component.
  std::size_t body = 0;
};

Parsed parse(std::string_view path) {
  Parsed parsed;
  parsed.prefix = parse_prefix(path);
  const bool verbatim = parsed.prefix.verbatim();
  std::size_t at = parsed.prefix.length;
  parsed.physical_root = at < path.size() && is_separator(path[at], verbatim);
  if (parsed.physical_root) ++at;
  const bool has_root = parsed.physical_root || parsed.prefix.implicit_root();
  if (!has_root && at < path.size() && path[at] == '.' &&
      (at + 1 == path.size() || is_separator(path[at + 1], verbatim))) {
    ++at;  // a leading "." component
  }
  parsed.body = at;
  return parsed;
}

bool is_skipped(std::string_view component, bool verbatim) {
  return component.empty() || (component == "." && !verbatim);
}

// Removes the last component of `body` (empty components and "." count too) and returns it.
std::string_view take_last(std::string_view& body, bool verbatim) {
  std::size_t at = body.size();
  while (at > 0 && !is_separator(body[at - 1], verbatim)) --at;
  const std::string_view last = body.substr(at);
  body.remove_suffix(at > 0 ? last.size() + 1 : last.size());
  return last;
}

}  // namespace

bool is_absolute(std::string_view path) {
  const Parsed parsed = parse(path);
  return parsed.prefix.kind != PrefixKind::None &&
         (parsed.physical_root || parsed.prefix.implicit_root());
}

std::string join(std::string_view base, std::string_view component) {
  const Parsed added = parse(component);
  if (added.prefix.kind != PrefixKind::None) return std::string(component);  // "C:x", "\\s\h\x"
  const Parsed here = parse(base);
  std::string joined(base);
  if (added.physical_root) {
    // "\x" keeps only the drive or share of the base.
    joined.resize(here.prefix.length);
  } else if (!joined.empty() && !is_separator(joined.back(), here.prefix.verbatim()) &&
             !(here.prefix.kind == PrefixKind::Disk && here.prefix.length == joined.size())) {
    joined += '\\';  // "C:" alone stays drive-relative: "C:x"
  }
  joined += component;
  return joined;
}

std::optional<std::string> parent(std::string_view path) {
  const Parsed parsed = parse(path);
  const bool verbatim = parsed.prefix.verbatim();
  std::string_view body = path.substr(parsed.body);
  while (!body.empty()) {
    if (is_skipped(take_last(body, verbatim), verbatim)) continue;
    // What is left is the parent, less trailing separators and "." components.
    for (std::string_view rest = body; !rest.empty();) {
      if (!is_skipped(take_last(rest, verbatim), verbatim)) break;
      body = rest;
    }
    return std::string(path.substr(0, parsed.body + body.size()));
  }
  // Only a prefix, a root or a leading "." is left: "." has the empty parent, the others none.
  const bool leading_dot = parsed.body > parsed.prefix.length + (parsed.physical_root ? 1 : 0);
  if (leading_dot) return std::string(path.substr(0, parsed.prefix.length));
  return std::nullopt;
}

}  // namespace tov::platform
