#include "bin/stand-in-app/control_file.h"

#include <random>

#include "cli_protocol/control_file.h"
#include "cli_protocol/records.h"
#include "json/json.h"
#include "platform/platform.h"

namespace tov::standin {

std::string fresh_token() {
  std::random_device random;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 4; ++i) {
    std::uint32_t word = random();
    for (int j = 0; j < 8; ++j, word >>= 4) token += kHex[word & 0xF];
  }
  return token;
}

std::string control_file_text(std::uint32_t version, std::string_view socket,
                              std::string_view token, std::uint32_t pid) {
  const json::Value file = {{"version", version},
                            {"socket", std::string(socket)},
                            {"token", std::string(token)},
                            {"pid", pid}};
  // Only ASCII texts and numbers go in, which always write.
  return json::to_compact(file).value_or("{}");
}

std::expected<std::string, std::string> publish_control_file(std::string_view text) {
  auto path = protocol::control_file_path();
  if (!path) return std::unexpected(std::string("no home directory"));
  if (auto written = platform::write_file_atomic(*path, text); !written) {
    return std::unexpected("could not write " + *path + ": " + written.error().message);
  }
  return *path;
}

void withdraw_control_file(const std::string& path, std::string_view token) {
  auto text = platform::read_file(path);
  if (!text) return;
  auto handshake = protocol::read_handshake(*text);
  if (!handshake || handshake->token != token) return;
  (void)platform::remove_file(path);
}

}  // namespace tov::standin
