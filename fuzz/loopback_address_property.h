// Reading the socket text of a handshake, without connecting: never a crash, only the two
// refusals, and whatever passes is a loopback address.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "cli_protocol/loopback.h"
#include "property.h"

namespace tov::fuzzing {

inline void check_loopback_address(std::string_view text, Verdict& verdict) {
  auto address = protocol::loopback_address(text);
  if (!address) {
    const auto& error = address.error();
    verdict.require(error.kind == platform::ErrorKind::InvalidInput, "a refusal is invalid-input");
    const bool unreadable = error.message == "\u201C" + std::string(text) +
                                                 "\u201D is not an address this build can reach";
    verdict.require(unreadable || error.message == "the control channel only talks to this machine",
                    "a refusal has one of the two texts", error.message);
    return;
  }
  if (address->is_v6) {
    const bool is_v6_loopback =
        address->ip[15] == 1 && std::all_of(address->ip.begin(), address->ip.begin() + 15,
                                            [](std::uint8_t b) { return b == 0; });
    verdict.require(is_v6_loopback, "an IPv6 address that passes is ::1", text);
  } else {
    verdict.require(address->ip[0] == 127, "an IPv4 address that passes is in 127.0.0.0/8", text);
  }
  verdict.require(text.find_first_of(" \t\r\n") == std::string_view::npos,
                  "no white space in an address that passes", text);
}

}  // namespace tov::fuzzing
