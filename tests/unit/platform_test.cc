// The platform layer's behaviour that holds alike on every system: sockets, files,
// starting a process. Texts that differ by system are in platform_posix_test.cc and
// platform_win32_test.cc.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/test_support.h"

namespace tov::platform {
namespace {

using namespace std::chrono_literals;

SocketAddress loopback(std::uint16_t port, bool v6 = false) {
  SocketAddress address;
  address.is_v6 = v6;
  address.port = port;
  if (v6) {
    address.ip[15] = 1;
  } else {
    address.ip = {127, 0, 0, 1};
  }
  return address;
}

// A connected pair: the client's socket and the socket the listener accepted.
struct Pair {
  Socket client;
  Socket server;
};

Pair connected_pair(bool v6 = false) {
  auto listener = Listener::bind_loopback(0, v6);
  EXPECT_TRUE(listener.has_value());
  auto client = Socket::connect(loopback(listener->port(), v6), 5s);
  EXPECT_TRUE(client.has_value()) << (client ? "" : client.error().message);
  auto server = listener->accept(5s);
  EXPECT_TRUE(server.has_value());
  return Pair{std::move(*client), std::move(*server)};
}

// Reads until the peer closes, the way a framing reader loops over short reads.
std::string receive_all(Socket& socket) {
  std::string bytes;
  char buffer[1000];
  for (;;) {
    auto got = socket.receive(buffer);
    if (!got || *got == 0) return bytes;
    bytes.append(buffer, *got);
  }
}

TEST(PlatformSocket, ConnectToAClosedPortIsRefused) {
  std::uint16_t port = 0;
  {
    auto listener = Listener::bind_loopback();
    ASSERT_TRUE(listener.has_value());
    port = listener->port();
  }
  auto socket = Socket::connect(loopback(port), 5s);
  ASSERT_FALSE(socket.has_value());
  EXPECT_EQ(socket.error().kind, ErrorKind::ConnectionRefused);
  EXPECT_TRUE(socket.error().message.ends_with(")")) << socket.error().message;
  EXPECT_NE(socket.error().message.find(" (os error "), std::string::npos);
}

TEST(PlatformSocket, ExchangesBytesOverIpv4AndIpv6) {
  for (const bool v6 : {false, true}) {
    SCOPED_TRACE(v6 ? "v6" : "v4");
    auto listener = Listener::bind_loopback(0, v6);
    if (!listener && v6) GTEST_SKIP() << "no IPv6 loopback here: " << listener.error().message;
    ASSERT_TRUE(listener.has_value());
    auto client = Socket::connect(loopback(listener->port(), v6), 5s);
    ASSERT_TRUE(client.has_value());
    auto server = listener->accept(5s);
    ASSERT_TRUE(server.has_value());
    ASSERT_TRUE(client->send_all("ping\n").has_value());
    ASSERT_TRUE(client->shutdown_write().has_value());
    EXPECT_EQ(receive_all(*server), "ping\n");
  }
}

TEST(PlatformSocket, ReceiveTimeoutSurfacesAsWouldBlockOrTimedOut) {
  Pair pair = connected_pair();
  ASSERT_TRUE(pair.client.set_receive_timeout(100ms).has_value());
  char buffer[16];
  const auto started = std::chrono::steady_clock::now();
  auto got = pair.client.receive(buffer);
  ASSERT_FALSE(got.has_value());
  EXPECT_TRUE(got.error().kind == ErrorKind::WouldBlock || got.error().kind == ErrorKind::TimedOut)
      << got.error().message;
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

TEST(PlatformSocket, AZeroTimeoutMeansNone) {
  Pair pair = connected_pair();
  ASSERT_TRUE(pair.client.set_receive_timeout(100ms).has_value());
  ASSERT_TRUE(pair.client.set_receive_timeout(0ms).has_value());
  std::thread late([&] {
    std::this_thread::sleep_for(300ms);
    (void)pair.server.send_all("late");
  });
  char buffer[16];
  auto got = pair.client.receive(buffer);
  late.join();
  ASSERT_TRUE(got.has_value()) << got.error().message;
  EXPECT_EQ(std::string(buffer, *got), "late");
}

TEST(PlatformSocket, DuplicateWritesOnTheSameConnectionAndClosesAlone) {
  Pair pair = connected_pair();
  {
    auto second = pair.client.duplicate();
    ASSERT_TRUE(second.has_value()) << second.error().message;
    ASSERT_TRUE(second->send_all("from the copy;").has_value());
  }  // the copy closes here; the connection stays up
  ASSERT_TRUE(pair.client.send_all("from the original").has_value());
  pair.client.close();
  EXPECT_FALSE(pair.client.is_open());
  EXPECT_EQ(receive_all(pair.server), "from the copy;from the original");
}

TEST(PlatformSocket, LargeWritesAndShortReadsCarryEveryByte) {
  Pair pair = connected_pair();
  std::string big(8 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
  std::thread writer([&] {
    EXPECT_TRUE(pair.client.send_all(big).has_value());
    pair.client.close();
  });
  const std::string received = receive_all(pair.server);
  writer.join();
  EXPECT_EQ(received.size(), big.size());
  EXPECT_TRUE(received == big);
}

TEST(PlatformSocket, WritingToAClosedPeerIsAnErrorNotASignal) {
  Pair pair = connected_pair();
  pair.server.close_with_reset();
  std::this_thread::sleep_for(50ms);
  const std::string chunk(64 * 1024, 'x');
  IoResult<void> sent;
  for (int i = 0; i < 64 && sent; ++i) sent = pair.client.send_all(chunk);
  ASSERT_FALSE(sent.has_value());
  EXPECT_TRUE(sent.error().kind == ErrorKind::BrokenPipe ||
              sent.error().kind == ErrorKind::ConnectionReset ||
              sent.error().kind == ErrorKind::ConnectionAborted)
      << sent.error().message;
}

TEST(PlatformSocket, AnOrderlyCloseReadsAsTheEnd) {
  Pair pair = connected_pair();
  pair.server.close();
  char buffer[16];
  auto got = pair.client.receive(buffer);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(*got, 0u);
}

TEST(PlatformSocket, AcceptWithoutAClientTimesOut) {
  auto listener = Listener::bind_loopback();
  ASSERT_TRUE(listener.has_value());
  auto accepted = listener->accept(50ms);
  ASSERT_FALSE(accepted.has_value());
  EXPECT_EQ(accepted.error().kind, ErrorKind::TimedOut);
}

TEST(PlatformSocket, MovedSocketsCloseOnce) {
  Pair pair = connected_pair();
  Socket moved = std::move(pair.client);
  EXPECT_FALSE(pair.client.is_open());
  EXPECT_TRUE(moved.is_open());
  Socket assigned;
  assigned = std::move(moved);
  EXPECT_FALSE(moved.is_open());
  ASSERT_TRUE(assigned.send_all("still here").has_value());
  assigned.close();
  EXPECT_EQ(receive_all(pair.server), "still here");
}

class PlatformFiles : public ::testing::Test {
 protected:
  std::string in_temp(std::string_view name) const { return join(temp_.path(), name); }
  testing::TempDir temp_;
};

TEST_F(PlatformFiles, AtomicWriteCreatesFoldersAndReplacesWhole) {
  const std::string path = join(join(in_temp("made"), "deeper"), "file.json");
  const std::string bytes("line one\r\nbinary \0\xff end", 23);
  ASSERT_TRUE(write_file_atomic(path, "first version, longer than the next").has_value());
  ASSERT_TRUE(write_file_atomic(path, bytes).has_value());
  auto read = read_file(path);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(*read, bytes);
  EXPECT_TRUE(is_regular_file(path));
  EXPECT_TRUE(metadata(path).has_value());
}

TEST_F(PlatformFiles, MissingThingsAreNotFound) {
  const std::string missing = in_temp("nothing-here");
  const std::string under_missing = join(missing, "file");
  for (const std::string& path : {missing, under_missing}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(read_file(path).error().kind, ErrorKind::NotFound);
    EXPECT_EQ(metadata(path).error().kind, ErrorKind::NotFound);
    EXPECT_EQ(canonicalize(path).error().kind, ErrorKind::NotFound);
    EXPECT_EQ(remove_file(path).error().kind, ErrorKind::NotFound);
    EXPECT_FALSE(is_regular_file(path));
  }
}

TEST_F(PlatformFiles, FoldersAreNotRegularFilesAndDoNotReadAsFiles) {
  EXPECT_TRUE(metadata(temp_.path()).has_value());
  EXPECT_FALSE(is_regular_file(temp_.path()));
  EXPECT_FALSE(read_file(temp_.path()).has_value());
}

TEST_F(PlatformFiles, RemoveFileRemoves) {
  const std::string path = in_temp("gone");
  ASSERT_TRUE(write_file_atomic(path, "x").has_value());
  ASSERT_TRUE(remove_file(path).has_value());
  EXPECT_FALSE(metadata(path).has_value());
}

TEST_F(PlatformFiles, CanonicalFormIsAbsoluteAndStable) {
  const std::string path = in_temp("picture.png");
  ASSERT_TRUE(write_file_atomic(path, "png").has_value());
  auto canonical = canonicalize(path);
  ASSERT_TRUE(canonical.has_value()) << canonical.error().message;
  EXPECT_TRUE(is_absolute(*canonical)) << *canonical;
  auto again = canonicalize(*canonical);
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(*again, *canonical);
}

TEST(PlatformProcess, OwnExecutableAndFolderAreKnown) {
  auto exe = current_exe();
  ASSERT_TRUE(exe.has_value());
  EXPECT_TRUE(is_absolute(*exe));
  EXPECT_TRUE(is_regular_file(*exe));
  auto folder = parent(*exe);
  ASSERT_TRUE(folder.has_value());
  EXPECT_TRUE(metadata(*folder).has_value());
  auto cwd = current_dir();
  ASSERT_TRUE(cwd.has_value());
  EXPECT_TRUE(is_absolute(*cwd));
  EXPECT_NE(process_id(), 0u);
}

TEST(PlatformProcess, StartingAMissingFileFails) {
  testing::TempDir temp;
  auto started = spawn_detached(join(temp.path(), "no-such-app.exe"));
  ASSERT_FALSE(started.has_value());
  EXPECT_EQ(started.error().kind, ErrorKind::NotFound) << started.error().message;
}

}  // namespace
}  // namespace tov::platform
