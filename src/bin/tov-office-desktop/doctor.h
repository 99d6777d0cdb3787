// doctor: how the program reaches the app, without ever starting it.
#pragma once

#include <cstdint>
#include <expected>
#include <string>

#include "bin/tov-office-desktop/cli_options.h"

namespace tov::cli {

std::expected<std::uint8_t, std::string> run_doctor(const CliOptions& options);

}  // namespace tov::cli
