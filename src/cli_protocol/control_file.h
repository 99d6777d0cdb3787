// The control file that the running app publishes in its data folder, and reading it.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "cli_protocol/records.h"

namespace tov::protocol {

// Which front end calls: it words two failures of load_handshake.
enum class Face { Cli, Mcp };

inline constexpr std::uint32_t kControlProtocolVersion = 3;
inline constexpr std::string_view kControlFileName = "cli-control.json";

// The control file's path; none when no base folder can be found.
std::optional<std::string> control_file_path();

// Reads and checks the control file anew.
std::expected<Handshake, std::string> load_handshake(Face face);

}  // namespace tov::protocol
