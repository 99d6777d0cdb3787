// Reading the socket text of a handshake, without connecting: never a crash, only the two
// refusals, and whatever passes is a loopback address.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "cli_protocol/control_call.h"
#include "fuzz_check.h"

using tov::fuzzing::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = tov::fuzzing::as_text(data, size);
  auto address = tov::protocol::loopback_address(text);
  if (!address) {
    const auto& error = address.error();
    require(error.kind == tov::platform::ErrorKind::InvalidInput, "a refusal is invalid-input");
    bool unreadable = error.message == "\u201C" + std::string(text) +
                                           "\u201D is not an address this build can reach";
    require(unreadable || error.message == "the control channel only talks to this machine",
            "a refusal has one of the two texts", error.message);
    return 0;
  }
  if (address->is_v6) {
    bool is_v6_loopback = address->ip[15] == 1 &&
                          std::all_of(address->ip.begin(), address->ip.begin() + 15,
                                      [](std::uint8_t b) { return b == 0; });
    require(is_v6_loopback, "an IPv6 address that passes is ::1", text);
  } else {
    require(address->ip[0] == 127, "an IPv4 address that passes is in 127.0.0.0/8", text);
  }
  require(text.find_first_of(" \t\r\n") == std::string_view::npos,
          "no white space in an address that passes", text);
  return 0;
}
