#include "cli_protocol/control_file.h"

#include <string>

#include "cli_protocol/brand.h"
#include "platform/platform.h"
#include "text/unicode_text.h"
#include "text/utf8.h"

namespace tov::protocol {

namespace {

// The folder under which the app keeps its per-user data.
std::optional<std::string> data_base_dir() {
  if (auto appdata = platform::env_path("APPDATA"); appdata && !appdata->empty()) return appdata;
  // An empty USERPROFILE still counts: the path then comes out relative.
  if (auto profile = platform::env_path("USERPROFILE")) {
    return platform::join(platform::join(*profile, "AppData"), "Roaming");
  }
  return std::nullopt;
}

std::string unreadable_message(Face face, std::string_view err) {
  const std::string_view prefix = face == Face::Cli ? "the handshake file is unreadable: " : "unreadable handshake: ";
  return std::string(prefix) + std::string(err);
}

std::string other_version_message(Face face, std::uint32_t version) {
  const std::string theirs = std::to_string(version);
  const std::string ours = std::to_string(kControlProtocolVersion);
  return face == Face::Cli
             ? "the app speaks protocol " + theirs + " but this CLI speaks " + ours + ". Rebuild them together."
             : "the app speaks control protocol " + theirs + " but this build speaks " + ours;
}

}  // namespace

std::optional<std::string> control_file_path() {
  auto base = data_base_dir();
  if (!base) return std::nullopt;
  return platform::join(platform::join(*base, brand_app_id()), kControlFileName);
}

std::expected<Handshake, std::string> load_handshake(Face face) {
  const auto path = control_file_path();
  if (!path) return std::unexpected("no home directory");

  auto bytes = platform::read_file(*path);
  if (!bytes) {
    if (bytes.error().kind == platform::ErrorKind::NotFound) {
      return std::unexpected(brand_product_name() +
                             " has not published its control handshake. Is the app still starting, or did it "
                             "just quit? Try again once it is running.");
    }
    return std::unexpected("could not read " + text::lossy_utf8(*path) + ": " + bytes.error().message);
  }
  if (!text::is_valid_utf8(*bytes)) {
    return std::unexpected("could not read " + text::lossy_utf8(*path) + ": stream did not contain valid UTF-8");
  }

  auto handshake = read_handshake(*bytes);
  if (!handshake) return std::unexpected(unreadable_message(face, handshake.error().message));
  if (handshake->version != kControlProtocolVersion) {
    return std::unexpected(other_version_message(face, handshake->version));
  }
  return std::move(*handshake);
}

}  // namespace tov::protocol
