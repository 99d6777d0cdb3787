#include "cli_protocol/loopback.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/test_support.h"

namespace tov::protocol {
namespace {

using platform::ErrorKind;

TEST(LoopbackAddress, ReadsOnlyLoopbackSocketAddresses) {
  struct Accepted {
    std::string text;
    bool v6;
    std::uint16_t port;
    std::uint32_t scope;
  };
  const Accepted accepted[] = {
      {"127.0.0.1:8080", false, 8080, 0}, {"127.255.0.9:0", false, 0, 0},      {"127.0.0.1:0080", false, 80, 0},
      {"[::1]:65535", true, 65535, 0},    {"[0:0:0:0:0:0:0:1]:2", true, 2, 0}, {"[0000::00:0001%7]:3", true, 3, 7},
      {"[::0.0.0.1]:4", true, 4, 0},
  };
  for (const auto& c : accepted) {
    auto address = loopback_address(c.text);
    ASSERT_TRUE(address.has_value()) << c.text << ": " << address.error().message;
    EXPECT_EQ(address->is_v6, c.v6) << c.text;
    EXPECT_EQ(address->port, c.port) << c.text;
    EXPECT_EQ(address->scope_id, c.scope) << c.text;
  }

  const std::string not_loopback[] = {
      "0.0.0.0:80", "192.168.1.5:80",  "128.0.0.1:1",         "[::ffff:127.0.0.1]:80",
      "[::]:80",    "[::127.0.0.1]:1", "[1:2:3:4:5:6:7::]:1",
  };
  for (const auto& text : not_loopback) {
    auto address = loopback_address(text);
    ASSERT_FALSE(address.has_value()) << text;
    EXPECT_EQ(address.error().kind, ErrorKind::InvalidInput) << text;
    EXPECT_EQ(address.error().message, "the control channel only talks to this machine") << text;
  }

  const std::string unreadable[] = {
      "", "localhost:80", "127.0.0.1", "127.0.0.1: 80", " 127.0.0.1:80", "127.0.0.1:80 ", "127.0.0.1:65536",
      "127.0.0.01:80", "127.0.0.256:80", "127.0.0:80", "127.0.0.1:+80", "::1:80", "[::1]", "[::1%]:80",
      "[::1%4294967296]:80", "[1::2::3]:80", "[12345::1]:80", "[:::1]:80", "[1:2:3:4:5:6:7:8:9]:80",
      "[1.2.3.4::1]:80", "[::1.2.3]:80", "[::1] :80", "[1:2:3:4:5:6:7:1.2.3.4]:80",
  };
  for (const auto& text : unreadable) {
    auto address = loopback_address(text);
    ASSERT_FALSE(address.has_value()) << text;
    EXPECT_EQ(address.error().kind, ErrorKind::InvalidInput) << text;
    EXPECT_EQ(address.error().message, "\u201C" + text + "\u201D is not an address this build can reach") << text;
  }
}

TEST(ConnectLoopback, RefusedConnectionKeepsItsKind) {
  auto socket = connect_loopback(tov::testing::refusing_socket());
  ASSERT_FALSE(socket.has_value());
  EXPECT_EQ(socket.error().kind, ErrorKind::ConnectionRefused) << socket.error().message;
}

}  // namespace
}  // namespace tov::protocol
