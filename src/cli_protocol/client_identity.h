// Which agent is calling: from --client, the environment, or an MCP client's name.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli_protocol/records.h"

namespace tov::protocol {

struct AgentAlias {
  std::string_view alias;
  std::string_view id;
};

std::span<const AgentAlias> agent_alias_table();

// The explicit text (even an empty one) by the slash rule, else the environment.
std::optional<ClientIdentity> detect_client(std::optional<std::string_view> explicit_text);
// A short canonical agent id: lower-case ASCII letters, digits and single hyphens; never empty.
std::string normalize_agent_name(std::string_view name);

}  // namespace tov::protocol
