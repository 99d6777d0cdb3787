#include "cli_protocol/frames.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace tov::protocol {
namespace {

using namespace std::chrono_literals;
using platform::ErrorKind;

// A peer on 127.0.0.1 that accepts one connection on a thread of its own, sends its chunks
// one by one with a pause between them (so that they arrive as separate receives), and
// then closes, or keeps the connection open until the peer object goes.
class Peer {
 public:
  Peer(std::vector<std::string> chunks, bool hold_open = false) {
    auto listener = platform::Listener::bind_loopback();
    EXPECT_TRUE(listener.has_value());
    if (!listener) return;
    listener_ = std::move(*listener);
    thread_ = std::thread([this, chunks = std::move(chunks), hold_open] {
      auto socket = listener_.accept(10s);
      if (!socket) return;
      for (const auto& chunk : chunks) {
        // A reader that stopped early makes the rest fail; that is no fault here.
        if (!socket->send_all(chunk)) break;
        std::this_thread::sleep_for(5ms);
      }
      // Whatever the client wrote, for the tests that check the request side.
      if (hold_open) {
        std::string got;
        std::array<char, 4096> buffer;
        while (auto n = socket->receive(buffer)) {
          if (*n == 0) break;
          got.append(buffer.data(), *n);
        }
        received_ = got;
        while (!done_) std::this_thread::sleep_for(5ms);
      }
      socket->close();
    });
  }
  ~Peer() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }

  platform::Socket connect() {
    platform::SocketAddress address;
    address.ip = {127, 0, 0, 1};
    address.port = listener_.port();
    auto socket = platform::Socket::connect(address, 5s);
    EXPECT_TRUE(socket.has_value());
    if (!socket) return {};
    // No test may hang: a peer that never answers ends the read with a time-out.
    EXPECT_TRUE(socket->set_receive_timeout(5s).has_value());
    return std::move(*socket);
  }

  // What the client sent, once it closed its writing side (hold_open peers only).
  std::string received() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
    return received_;
  }

 private:
  platform::Listener listener_;
  std::thread thread_;
  std::atomic<bool> done_{false};
  std::string received_;
};

platform::IoResult<Response> read_from(std::vector<std::string> chunks) {
  Peer peer(std::move(chunks));
  return read_response(peer.connect());
}

struct GoodFrame {
  const char* what;
  std::vector<std::string> chunks;
  bool ok;
  std::string data;  // compact text, empty for none
};

TEST(ReadResponse, TakesTheFirstLine) {
  const GoodFrame cases[] = {
      {"one line", {"{\"ok\":true}\n"}, true, ""},
      {"in pieces", {"{\"ok\"", ":fal", "se,\"data\":[1", ",2]}\n"}, false, "[1,2]"},
      {"crlf", {"{\"ok\":true}\r\n"}, true, ""},
      {"no line feed, then close", {"{\"ok\":true,\"data\":\"x\"}"}, true, "\"x\""},
      {"second line ignored", {"{\"ok\":true}\nnot json at all\n"}, true, ""},
      {"second line in its own send", {"{\"ok\":true}\n", "garbage"}, true, ""},
      {"null data is absent", {"{\"ok\":true,\"data\":null}\n"}, true, ""},
      {"array form", {"[false,null,[\"Code\",\"Msg\"]]\n"}, false, ""},
  };
  for (const auto& c : cases) {
    auto response = read_from(c.chunks);
    ASSERT_TRUE(response.has_value()) << c.what << ": " << response.error().message;
    EXPECT_EQ(response->ok, c.ok) << c.what;
    EXPECT_EQ(response->data ? json::to_compact(*response->data).value_or("?") : "", c.data) << c.what;
  }
}

struct BadFrame {
  const char* what;
  std::vector<std::string> chunks;
  ErrorKind kind;
  std::string message;  // empty: any reading error
};

TEST(ReadResponse, RefusesWhatIsNoAnswer) {
  const BadFrame cases[] = {
      {"closed at once", {}, ErrorKind::UnexpectedEof, "connection closed before a frame arrived"},
      {"invalid utf-8",
       {"{\"ok\":true,\"data\":\"\xFF\"}\n"},
       ErrorKind::InvalidData,
       "stream did not contain valid UTF-8"},
      {"invalid utf-8 after the line is not read",
       {"{\"ok\":\"\xC3\"\n"},
       ErrorKind::InvalidData,
       "stream did not contain valid UTF-8"},
      {"line feed alone", {"\n"}, ErrorKind::InvalidData, ""},
      {"not json", {"hello\n"}, ErrorKind::InvalidData, ""},
      {"missing ok", {"{\"data\":1}\n"}, ErrorKind::InvalidData, ""},
  };
  for (const auto& c : cases) {
    auto response = read_from(c.chunks);
    ASSERT_FALSE(response.has_value()) << c.what;
    EXPECT_EQ(response.error().kind, c.kind) << c.what;
    if (!c.message.empty()) {
      EXPECT_EQ(response.error().message, c.message) << c.what;
    } else {
      EXPECT_NE(response.error().message.find(" at line "), std::string::npos) << c.what;
    }
  }
}

TEST(ReadResponse, InvalidBytesAfterTheFirstLineAreNeverLookedAt) {
  auto response = read_from({"{\"ok\":true}\n\xFF\xFE"});
  ASSERT_TRUE(response.has_value()) << response.error().message;
  EXPECT_TRUE(response->ok);
}

// A frame of `size` bytes: an answer whose string data fills it; `tail` ends it.
std::string padded_answer(std::size_t size, const std::string& tail) {
  const std::string head = "{\"ok\":true,\"data\":\"";
  return head + std::string(size - head.size() - tail.size(), 'x') + tail;
}

TEST(ReadResponse, FrameLimitIsEightMebibytes) {
  const std::size_t limit = kMaxFrameBytes;
  ASSERT_EQ(limit, 8388608u);
  struct LimitCase {
    const char* what;
    std::string frame;
    bool ok;
    ErrorKind kind;
  };
  const LimitCase cases[] = {
      {"exactly the limit with its line feed", padded_answer(limit, "\"}\n"), true, ErrorKind::Other},
      {"answer then spaces cut at the limit", "{\"ok\":true}" + std::string(limit, ' ') + "\n", true, ErrorKind::Other},
      {"object cut at the limit", padded_answer(limit + 2, "\"}\n"), false, ErrorKind::InvalidData},
      {"character cut at the limit", padded_answer(limit - 1, "") + "\xC3\xA9\"}\n", false, ErrorKind::InvalidData},
  };
  for (const auto& c : cases) {
    auto response = read_from({c.frame});
    EXPECT_EQ(response.has_value(), c.ok) << c.what;
    if (!response) {
      EXPECT_EQ(response.error().kind, c.kind) << c.what;
    }
  }
  auto cut = read_from({padded_answer(limit - 1, "") + "\xC3\xA9\"}\n"});
  ASSERT_FALSE(cut.has_value());
  EXPECT_EQ(cut.error().message, "stream did not contain valid UTF-8");
}

TEST(ReadResponse, ReceiveTimeOutKeepsItsKind) {
  Peer peer({"{\"ok\":"}, /*hold_open=*/true);
  platform::Socket socket = peer.connect();
  ASSERT_TRUE(socket.set_receive_timeout(150ms).has_value());
  auto response = read_response(std::move(socket));
  ASSERT_FALSE(response.has_value());
  EXPECT_TRUE(response.error().kind == ErrorKind::WouldBlock || response.error().kind == ErrorKind::TimedOut)
      << response.error().message;
}

TEST(WriteRequest, SendsOneLineAndClosesTheHandle) {
  Peer peer({}, /*hold_open=*/true);
  const Request request{"tok", "status", json::Value::object(), ClientIdentity{"codex", "2", std::nullopt}};
  ASSERT_TRUE(write_request(peer.connect(), request).has_value());
  // The peer only sees the end of input because write_request closed its handle.
  EXPECT_EQ(peer.received(),
            "{\"token\":\"tok\",\"op\":\"status\",\"params\":{},\"client\":{\"id\":\"codex\",\"version\":\"2\"}}\n");
}

TEST(WriteRequest, UnwritableRequestSendsNothing) {
  Peer peer({}, /*hold_open=*/true);
  const Request request{"tok", "bad\xFF", json::Value::object(), std::nullopt};
  auto written = write_request(peer.connect(), request);
  ASSERT_FALSE(written.has_value());
  EXPECT_EQ(written.error().kind, ErrorKind::InvalidData);
  EXPECT_FALSE(written.error().message.empty());
  EXPECT_EQ(peer.received(), "");
}

}  // namespace
}  // namespace tov::protocol
