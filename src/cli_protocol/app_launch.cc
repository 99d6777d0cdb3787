#include "cli_protocol/app_launch.h"

#include <thread>

#include "cli_protocol/brand.h"
#include "cli_protocol/loopback.h"
#include "text/unicode_text.h"

namespace tov::protocol {

namespace {

using Clock = std::chrono::steady_clock;

// A started app and the moment by which its control channel must be open.
struct Launch {
  std::string path;
  Clock::time_point deadline;
};

// Paths are shown the way people read them: bytes that are not UTF-8 become U+FFFD.
std::string display(const std::string& path) { return text::lossy_utf8(path); }

std::expected<Launch, std::string> launch_app(const LaunchTiming& timing) {
  auto path = app_executable_path();
  if (!path) {
    return std::unexpected(brand_product_name() +
                           " is not running, and the app is not beside this binary to start.");
  }
  if (auto started = platform::spawn_detached(*path); !started) {
    return std::unexpected("could not start " + display(*path) + ": " + started.error().message);
  }
  return Launch{std::move(*path), Clock::now() + timing.deadline};
}

std::string deadline_message(const Launch& launch, const LaunchTiming& timing, const std::string& last) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timing.deadline).count();
  return "started " + display(launch.path) + " but it did not open its control channel within " +
         std::to_string(seconds) + "s: " + last;
}

std::string unreachable_message(std::string_view socket_text, const platform::IoError& error) {
  return "could not reach the app on " + std::string(socket_text) + ": " + error.message;
}

// Nothing listens at the address: the app has quit, or the control file is left over.
bool app_is_gone(platform::ErrorKind kind) {
  return kind == platform::ErrorKind::NotFound || kind == platform::ErrorKind::ConnectionRefused;
}

}  // namespace

std::optional<std::string> app_executable_path() {
  auto exe = platform::current_exe();
  if (!exe) return std::nullopt;
  auto folder = platform::parent(*exe);
  if (!folder) return std::nullopt;
  std::string path = platform::join(*folder, with_exe_suffix(brand_app_stem()));
  if (!platform::is_regular_file(path)) return std::nullopt;
  return path;
}

std::expected<AppConnection, std::string> connect_or_launch(Face face, Handshake handshake,
                                                            const LaunchTiming& timing) {
  auto stream = connect_with_timeouts(handshake.socket);
  if (stream) return AppConnection{std::move(handshake), std::move(*stream)};
  if (!app_is_gone(stream.error().kind)) return std::unexpected(unreachable_message(handshake.socket, stream.error()));

  auto launch = launch_app(timing);
  if (!launch) return std::unexpected(std::move(launch.error()));
  // Only a handshake loaded afresh may carry the new token.
  std::string last;
  while (true) {
    std::this_thread::sleep_for(timing.poll_interval);
    if (auto fresh = load_handshake(face)) {
      auto connected = connect_with_timeouts(fresh->socket);
      if (connected) return AppConnection{std::move(*fresh), std::move(*connected)};
      last = unreachable_message(fresh->socket, connected.error());
    } else {
      last = std::move(fresh.error());
    }
    if (Clock::now() >= launch->deadline) return std::unexpected(deadline_message(*launch, timing, last));
  }
}

std::expected<Handshake, std::string> ensure_app_running(Face face, const LaunchTiming& timing) {
  auto launch = launch_app(timing);
  if (!launch) return std::unexpected(std::move(launch.error()));
  while (true) {
    std::this_thread::sleep_for(timing.poll_interval);
    auto handshake = load_handshake(face);
    if (handshake) return handshake;
    if (Clock::now() >= launch->deadline) return std::unexpected(deadline_message(*launch, timing, handshake.error()));
  }
}

std::expected<Handshake, std::string> locate_app(const LaunchTiming& timing) {
  const auto path = control_file_path();
  if (!path) return std::unexpected("no home directory");
  // A file that is there but unreadable is load_handshake's to report; a stale one is
  // caught later by connect_or_launch.
  if (platform::metadata(*path)) return load_handshake(Face::Cli);
  return ensure_app_running(Face::Cli, timing);
}

}  // namespace tov::protocol
