// The platform layer's behaviour that holds alike on every system: sockets, files,
// starting a process. Texts that differ by system are in platform_posix_test.cc and
// platform_win32_test.cc.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "support/test_support.h"

namespace tov::platform {
namespace {

using namespace std::chrono_literals;
using testing::connected_pair;

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
  if (auto listener = Listener::bind_loopback()) port = listener->port();  // closed again at once
  auto socket = Socket::connect(SocketAddress::loopback(port), 5s);
  ASSERT_FALSE(socket.has_value());
  EXPECT_EQ(socket.error().kind, ErrorKind::ConnectionRefused);
  EXPECT_TRUE(socket.error().message.ends_with(")")) << socket.error().message;
  EXPECT_NE(socket.error().message.find(" (os error "), std::string::npos);
}

TEST(PlatformSocket, ReceiveTimeoutFailsAsWouldBlockOrTimedOut) {
  auto pair = connected_pair();
  ASSERT_TRUE(pair.client.set_receive_timeout(100ms).has_value());
  char buffer[16];
  auto got = pair.client.receive(buffer);
  ASSERT_FALSE(got.has_value());
  EXPECT_TRUE(got.error().kind == ErrorKind::WouldBlock || got.error().kind == ErrorKind::TimedOut)
      << got.error().message;
}

TEST(PlatformSocket, DuplicateWritesOnTheSameConnectionAndClosesAlone) {
  auto pair = connected_pair();
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

TEST(PlatformSocket, ClosedPeersReadAsTheEndAndFailWritesWithoutASignal) {
  auto orderly = connected_pair();
  orderly.server.close();
  char buffer[16];
  auto got = orderly.client.receive(buffer);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(*got, 0u);

  auto reset = connected_pair();
  reset.server.close_with_reset();
  std::this_thread::sleep_for(50ms);
  const std::string chunk(64 * 1024, 'x');
  IoResult<void> sent;
  for (int i = 0; i < 64 && sent; ++i) sent = reset.client.send_all(chunk);
  ASSERT_FALSE(sent.has_value());
  EXPECT_TRUE(sent.error().kind == ErrorKind::BrokenPipe || sent.error().kind == ErrorKind::ConnectionReset ||
              sent.error().kind == ErrorKind::ConnectionAborted)
      << sent.error().message;
}

TEST(PlatformFiles, AtomicWriteReplacesWholeAndMissingThingsAreNotFound) {
  testing::TempDir temp;
  const std::string path = join(join(join(temp.path(), "made"), "deeper"), "file.json");
  const std::string bytes("line one\r\nbinary \0\xff end", 23);
  ASSERT_TRUE(write_file_atomic(path, "first version, longer than the next").has_value());
  ASSERT_TRUE(write_file_atomic(path, bytes).has_value());
  EXPECT_EQ(read_file(path).value_or("?"), bytes);
  EXPECT_TRUE(is_regular_file(path));
  auto canonical = canonicalize(path);
  ASSERT_TRUE(canonical.has_value()) << canonical.error().message;
  EXPECT_TRUE(is_absolute(*canonical)) << *canonical;
  EXPECT_EQ(canonicalize(*canonical).value_or("?"), *canonical);
  ASSERT_TRUE(remove_file(path).has_value());

  // A folder is there but is no file.
  EXPECT_TRUE(metadata(temp.path()).has_value());
  EXPECT_FALSE(is_regular_file(temp.path()));
  EXPECT_FALSE(read_file(temp.path()).has_value());

  const std::string missing = join(temp.path(), "nothing-here");
  for (const std::string& gone : {path, missing, join(missing, "file")}) {
    SCOPED_TRACE(gone);
    EXPECT_EQ(read_file(gone).error().kind, ErrorKind::NotFound);
    EXPECT_EQ(metadata(gone).error().kind, ErrorKind::NotFound);
    EXPECT_EQ(canonicalize(gone).error().kind, ErrorKind::NotFound);
    EXPECT_EQ(remove_file(gone).error().kind, ErrorKind::NotFound);
    EXPECT_FALSE(is_regular_file(gone));
  }
}

TEST(PlatformProcess, OwnExecutableIsKnownAndAMissingOneDoesNotStart) {
  auto exe = current_exe();
  ASSERT_TRUE(exe.has_value());
  EXPECT_TRUE(is_absolute(*exe));
  EXPECT_TRUE(is_regular_file(*exe));
  EXPECT_TRUE(metadata(parent(*exe).value_or("?")).has_value());
  EXPECT_TRUE(is_absolute(current_dir().value_or("")));
  EXPECT_NE(process_id(), 0u);

  testing::TempDir temp;
  auto started = spawn_detached(join(temp.path(), "no-such-app.exe"));
  ASSERT_FALSE(started.has_value());
  EXPECT_EQ(started.error().kind, ErrorKind::NotFound) << started.error().message;
}

}  // namespace
}  // namespace tov::platform
