// One request line written and one answer frame read over a real loopback connection. The
// frame limit, answers in pieces and reading errors are met end to end in hostile_app_test.cc.
#include "cli_protocol/frames.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace tov::protocol {
namespace {

using namespace std::chrono_literals;
using platform::ErrorKind;

// What arrives until the writer closes (bounded by a receive timeout).
std::string receive_all(platform::Socket& socket) {
  std::string bytes;
  char buffer[4096];
  if (!socket.set_receive_timeout(5s)) return "?";
  for (auto got = socket.receive(buffer); got && *got > 0; got = socket.receive(buffer)) bytes.append(buffer, *got);
  return bytes;
}

TEST(ReadResponse, StopsAtTheFirstLineFeed) {
  // What follows the answer's line is never looked at, even bytes that are no UTF-8, sent apart.
  auto pair = testing::connected_pair();
  std::thread app([&] {
    (void)pair.server.send_all("{\"ok\":true,\"data\":[1]}\n");
    std::this_thread::sleep_for(20ms);
    (void)pair.server.send_all("\xFF\xFE");
    pair.server.close();
  });
  ASSERT_TRUE(pair.client.set_receive_timeout(5s).has_value());
  auto response = read_response(std::move(pair.client));
  app.join();
  ASSERT_TRUE(response.has_value()) << response.error().message;
  EXPECT_TRUE(response->ok);
  EXPECT_EQ(json::to_compact(response->data.value()), "[1]");
}

TEST(WriteRequest, SendsOneLineAndClosesTheHandle) {
  auto pair = testing::connected_pair();
  const Request request{"tok", "status", json::Value::object(), std::nullopt};
  ASSERT_TRUE(write_request(std::move(pair.client), request).has_value());
  // The peer only sees the end of input because write_request closed its handle.
  EXPECT_EQ(receive_all(pair.server), "{\"token\":\"tok\",\"op\":\"status\",\"params\":{}}\n");
}

TEST(WriteRequest, UnwritableRequestSendsNothing) {
  auto pair = testing::connected_pair();
  auto written = write_request(std::move(pair.client), Request{"tok", "bad\xFF", json::Value::object(), std::nullopt});
  ASSERT_FALSE(written.has_value());
  EXPECT_EQ(written.error().kind, ErrorKind::InvalidData);
  EXPECT_EQ(receive_all(pair.server), "");
}

}  // namespace
}  // namespace tov::protocol
