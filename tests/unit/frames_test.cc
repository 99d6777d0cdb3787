#include "cli_protocol/frames.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace tov::protocol {
namespace {

using namespace std::chrono_literals;
using platform::ErrorKind;

// One connection on 127.0.0.1, served from a thread: the peer sends its chunks with a pause
// between them (so that they arrive as separate receives) and closes, or, when it listens,
// first collects what the client writes until the client closes. Every wait is bounded.
class Peer {
 public:
  explicit Peer(std::vector<std::string> chunks, bool listens = false) {
    auto listener = platform::Listener::bind_loopback();
    EXPECT_TRUE(listener.has_value());
    if (listener) listener_ = std::move(*listener);
    thread_ = std::thread([this, chunks = std::move(chunks), listens] {
      auto socket = listener_.accept(10s);
      if (!socket || !socket->set_receive_timeout(10s)) return;
      for (const auto& chunk : chunks) {
        if (!socket->send_all(chunk)) break;  // a reader that stopped early is no fault here
        std::this_thread::sleep_for(5ms);
      }
      std::array<char, 4096> buffer;
      while (listens) {
        auto n = socket->receive(buffer);
        if (!n || *n == 0) break;
        received_.append(buffer.data(), *n);
      }
    });
  }
  ~Peer() { join(); }

  platform::Socket connect() {
    platform::SocketAddress address;
    address.ip = {127, 0, 0, 1};
    address.port = listener_.port();
    auto socket = platform::Socket::connect(address, 5s);
    EXPECT_TRUE(socket.has_value());
    if (!socket) return {};
    EXPECT_TRUE(socket->set_receive_timeout(5s).has_value());
    return std::move(*socket);
  }

  // What the client wrote, once it has closed its handles.
  std::string received() {
    join();
    return received_;
  }

 private:
  void join() {
    if (thread_.joinable()) thread_.join();
  }

  platform::Listener listener_;
  std::thread thread_;
  std::string received_;
};

platform::IoResult<Response> read_from(std::vector<std::string> chunks) {
  Peer peer(std::move(chunks));
  return read_response(peer.connect());
}

TEST(ReadResponse, TakesTheFirstLine) {
  struct Case {
    const char* what;
    std::vector<std::string> chunks;
    bool ok;
    std::string data;  // compact text, empty for none
  };
  const Case cases[] = {
      {"in pieces", {"{\"ok\"", ":fal", "se,\"data\":[1", ",2]}\n"}, false, "[1,2]"},
      {"crlf", {"{\"ok\":true}\r\n"}, true, ""},
      {"no line feed, then close", {"{\"ok\":true,\"data\":\"x\"}"}, true, "\"x\""},
      {"second line ignored", {"{\"ok\":true}\nnot json\n"}, true, ""},
      {"second line not UTF-8, in its own send", {"{\"ok\":true}\n", "\xFF\xFE"}, true, ""},
      {"null data is absent", {"{\"ok\":true,\"data\":null}\n"}, true, ""},
  };
  for (const auto& c : cases) {
    auto response = read_from(c.chunks);
    ASSERT_TRUE(response.has_value()) << c.what << ": " << response.error().message;
    EXPECT_EQ(response->ok, c.ok) << c.what;
    EXPECT_EQ(response->data ? json::to_compact(*response->data).value_or("?") : "", c.data) << c.what;
  }
}

TEST(ReadResponse, RefusesWhatIsNoAnswer) {
  struct Case {
    const char* what;
    std::vector<std::string> chunks;
    ErrorKind kind;
    std::string message;  // empty: a reading error with its position
  };
  const Case cases[] = {
      {"closed at once", {}, ErrorKind::UnexpectedEof, "connection closed before a frame arrived"},
      {"invalid UTF-8",
       {"{\"ok\":true,\"data\":\"\xFF\"}\n"},
       ErrorKind::InvalidData,
       "stream did not contain valid UTF-8"},
      {"line feed alone", {"\n"}, ErrorKind::InvalidData, ""},
      {"missing ok", {"{\"data\":1}\n"}, ErrorKind::InvalidData, ""},
  };
  for (const auto& c : cases) {
    auto response = read_from(c.chunks);
    ASSERT_FALSE(response.has_value()) << c.what;
    EXPECT_EQ(response.error().kind, c.kind) << c.what;
    if (c.message.empty()) {
      EXPECT_NE(response.error().message.find(" at line "), std::string::npos) << c.what;
    } else {
      EXPECT_EQ(response.error().message, c.message) << c.what;
    }
  }
}

// A frame of `size` bytes: an answer whose string data fills it, ended by `tail`.
std::string padded_answer(std::size_t size, const std::string& tail) {
  const std::string head = "{\"ok\":true,\"data\":\"";
  return head + std::string(size - head.size() - tail.size(), 'x') + tail;
}

TEST(ReadResponse, FrameLimitIsEightMebibytes) {
  const std::size_t limit = 8388608;
  struct Case {
    const char* what;
    std::string frame;
    std::string failure;  // empty: the answer reads
  };
  const Case cases[] = {
      {"exactly the limit with its line feed", padded_answer(limit, "\"}\n"), ""},
      {"answer then spaces cut at the limit", "{\"ok\":true}" + std::string(limit, ' ') + "\n", ""},
      {"object cut at the limit", padded_answer(limit + 2, "\"}\n"), " at line 1 column "},
      {"character cut at the limit", padded_answer(limit - 1, "") + "\xC3\xA9\"}\n",
       "stream did not contain valid UTF-8"},
  };
  for (const auto& c : cases) {
    auto response = read_from({c.frame});
    if (c.failure.empty()) {
      EXPECT_TRUE(response.has_value()) << c.what << ": " << response.error().message;
    } else {
      ASSERT_FALSE(response.has_value()) << c.what;
      EXPECT_EQ(response.error().kind, ErrorKind::InvalidData) << c.what;
      EXPECT_NE(response.error().message.find(c.failure), std::string::npos) << c.what;
    }
  }
}

TEST(ReadResponse, ReceiveTimeOutKeepsItsKind) {
  Peer peer({"{\"ok\":"}, /*listens=*/true);
  platform::Socket socket = peer.connect();
  ASSERT_TRUE(socket.set_receive_timeout(150ms).has_value());
  auto response = read_response(std::move(socket));
  ASSERT_FALSE(response.has_value());
  EXPECT_TRUE(response.error().kind == ErrorKind::WouldBlock || response.error().kind == ErrorKind::TimedOut)
      << response.error().message;
}

TEST(WriteRequest, SendsOneLineAndClosesTheHandle) {
  Peer peer({}, /*listens=*/true);
  const Request request{"tok", "status", json::Value::object(), std::nullopt};
  ASSERT_TRUE(write_request(peer.connect(), request).has_value());
  // The peer only sees the end of input because write_request closed its handle.
  EXPECT_EQ(peer.received(), "{\"token\":\"tok\",\"op\":\"status\",\"params\":{}}\n");
}

TEST(WriteRequest, UnwritableRequestSendsNothing) {
  Peer peer({}, /*listens=*/true);
  auto written = write_request(peer.connect(), Request{"tok", "bad\xFF", json::Value::object(), std::nullopt});
  ASSERT_FALSE(written.has_value());
  EXPECT_EQ(written.error().kind, ErrorKind::InvalidData);
  EXPECT_EQ(peer.received(), "");
}

}  // namespace
}  // namespace tov::protocol
