#include "support/test_support.h"

#include <filesystem>
#include <random>
#include <system_error>

namespace tov::testing {

using namespace std::chrono_literals;

namespace {

// Paths travel as UTF-8 in the tests, whatever the system's own narrow encoding.
std::filesystem::path from_utf8(const std::string& text) { return std::u8string(text.begin(), text.end()); }

std::string to_utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

TempDir::TempDir() {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  std::random_device random;
  for (int attempt = 0; attempt < 100 && !error; ++attempt) {
    const auto name = "tov-test-" + std::to_string(platform::process_id()) + "-" + std::to_string(random());
    if (std::filesystem::create_directory(base / name, error)) {
      path_ = to_utf8(base / name);
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(from_utf8(path_), ignored);
}

std::string program_path() { return TOV_PROGRAM_PATH; }
std::string stand_in_path() { return TOV_STAND_IN_PATH; }

SocketPair connected_pair(bool v6) {
  auto listener = platform::Listener::bind_loopback(0, v6);
  if (!listener) return {};
  auto client = platform::Socket::connect(platform::SocketAddress::loopback(listener->port(), v6), 5s);
  auto server = listener->accept(5s);
  if (!client || !server) return {};
  return {std::move(*client), std::move(*server)};
}

std::string refusing_socket() {
  std::uint16_t port = 1;
  if (auto listener = platform::Listener::bind_loopback()) port = listener->port();  // closed again at once
  // Every listener of the tests binds 127.0.0.1, so one that takes the freed port meanwhile
  // still leaves this other loopback address refusing.
  return "127.0.0.2:" + std::to_string(port);
}

}  // namespace tov::testing
