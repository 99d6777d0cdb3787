// normalize_agent_name on any UTF-8 text: a short canonical id, never empty, and a fixed
// point (an id normalizes to itself).
#pragma once

#include <string>

#include "cli_protocol/client_identity.h"
#include "property.h"
#include "text/utf8.h"

namespace tov::fuzzing {

inline void check_agent_name(std::string_view name, Verdict& verdict) {
  if (!text::is_valid_utf8(name)) return;  // MCP client names arrive as JSON strings
  const std::string id = protocol::normalize_agent_name(name);
  if (!verdict.require(!id.empty(), "never empty")) return;
  for (char c : id) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    if (!verdict.require(allowed, "lower-case ASCII letters, digits and hyphens", id)) return;
  }
  verdict.require(id.front() != '-' && id.back() != '-', "no hyphen at either end", id);
  verdict.require(id.find("--") == std::string::npos, "single hyphens", id);
  verdict.require(protocol::normalize_agent_name(id) == id, "an id normalizes to itself", id);
}

}  // namespace tov::fuzzing
