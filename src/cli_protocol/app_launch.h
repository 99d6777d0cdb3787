// Starting the app when it is not running, and waiting for its control channel.
#pragma once

#include <chrono>
#include <expected>
#include <optional>
#include <string>

#include "cli_protocol/control_file.h"
#include "cli_protocol/records.h"
#include "platform/platform.h"

namespace tov::protocol {

// One connection to the running app: the handshake whose address was connected, and the
// stream with 16 s send and receive timeouts.
struct AppConnection {
  Handshake handshake;
  platform::Socket stream;
};

// How the waiting loops poll. The program always uses the defaults; tests shorten them.
struct LaunchTiming {
  std::chrono::milliseconds poll_interval{120};
  std::chrono::milliseconds deadline{25000};
};

// The app's executable beside ours, when it exists as a regular file.
std::optional<std::string> app_executable_path();

// Connects to `handshake`'s address, or starts the app when nothing listens there and waits
// for a fresh handshake whose address accepts.
std::expected<AppConnection, std::string> connect_or_launch(Face face, Handshake handshake,
                                                            const LaunchTiming& timing = {});
// Starts the app and waits until its control file loads.
std::expected<Handshake, std::string> ensure_app_running(Face face, const LaunchTiming& timing = {});
// The command line's way to the handshake: load it, or start the app when there is no file.
std::expected<Handshake, std::string> locate_app(const LaunchTiming& timing = {});

}  // namespace tov::protocol
