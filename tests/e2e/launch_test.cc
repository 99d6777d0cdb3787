// The program starting the stand-in app by itself: a fresh start, a stale control file, a
// missing executable, and apps that publish late, never, with another version, or an address
// that refuses.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "cli_protocol/loopback.h"
#include "json/json.h"
#include "platform/platform.h"
#include "support/expected_output.h"
#include "support/scripted_app.h"
#include "support/test_support.h"

namespace tov::testing {
namespace {

const std::string kEmptyStatus =
    R"({"activeTab":null,"busy":false,"formats":[{"format":"docx","writable":true},)"
    R"({"format":"pptx","writable":true},{"format":"xlsx","writable":true},)"
    R"({"format":"md","writable":true},{"format":"pdf","writable":false}],)"
    R"("protocolVersion":3,"tabs":[]})"
    "\n";

const std::string kNotPublished =
    "Quillboard has not published its control handshake. Is the app still starting, or did it "
    "just quit? Try again once it is running.";

// Checks a deadline failure line: the message names the stand-in (in whatever form the
// platform gives the program's own path) and ends with `last`.
void expect_deadline_failure(const ProcessResult& result, const std::string& last) {
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  const std::string tail = " but it did not open its control channel within 25s: " + last;
  auto value = json::parse(result.err);
  ASSERT_TRUE(value.has_value()) << result.err;
  const std::string message = (*value)["error"]["message"].get<std::string>();
  ASSERT_TRUE(message.starts_with("started ") && message.ends_with(tail)) << message;
  const std::string path = message.substr(8, message.size() - 8 - tail.size());
  EXPECT_EQ(platform::canonicalize(path).value_or("?"),
            platform::canonicalize(stand_in_path()).value_or("!"));
  EXPECT_EQ(result.err, bad_request("started " + path + tail));
}

// What a connect to an address on which nothing listens gives here.
std::string refusal_text() {
  auto address = protocol::loopback_address(refusing_socket());
  auto connected = platform::Socket::connect(address.value(), std::chrono::seconds(5));
  return connected ? "" : connected.error().message;
}

TEST(Launch, StatusWithNoAppRunningStartsTheStandIn) {
  AppData app;
  auto result = run_quillboard(app, {"status"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, kEmptyStatus);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(app.stand_in_starts().size(), 1u);

  // The running app serves the next command without a second start.
  auto again = run_quillboard(app, {"status"});
  EXPECT_EQ(again.out, kEmptyStatus);
  EXPECT_EQ(app.stand_in_starts().size(), 1u);
}

TEST(Launch, StaleControlFileStartsTheAppAndTheNewTokenTravels) {
  AppData app;
  const std::string stale = refusing_socket();
  app.publish(stale, "stale-token");
  const std::string record = platform::join(app.dir(), "requests.txt");

  auto result = run_quillboard(app, {"status"}, {"QB_STANDIN_RECORD=" + record});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, kEmptyStatus);
  EXPECT_EQ(app.stand_in_starts().size(), 1u);

  auto fresh = app.handshake();
  ASSERT_TRUE(fresh.has_value());
  EXPECT_NE(fresh->token, "stale-token");
  EXPECT_NE(fresh->socket, stale);
  const auto requests = lines_of(platform::read_file(record).value_or(""));
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0], R"({"token":")" + fresh->token + R"(","op":"status","params":{}})");
}

TEST(Launch, NoAppBesideTheProgram) {
  AppData app;
  TempDir lonely;
  const auto name = std::filesystem::path(program_path()).filename();
  const auto copy = std::filesystem::path(lonely.path()) / name;
  std::error_code ec;
  std::filesystem::copy_file(program_path(), copy, ec);
  ASSERT_FALSE(ec) << ec.message();
  std::filesystem::permissions(copy, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);

  RunOptions options;
  options.args = {"status"};
  options.env = app.env();
  auto result = run_program(copy.string(), options);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            bad_request("Quillboard is not running, and the app is not beside this binary to start."));
  EXPECT_TRUE(app.stand_in_starts().empty());
}

TEST(Launch, AppThatPublishesLate) {
  AppData app;
  auto result = run_quillboard(app, {"status"}, {"QB_STANDIN_PUBLISH_DELAY_MS=1500"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, kEmptyStatus);
}

// The three cases that run to the 25 s deadline; ctest runs them side by side.
TEST(Launch, AppThatNeverPublishes) {
  AppData app;
  auto result = run_quillboard(app, {"status"}, {"QB_STANDIN_NO_PUBLISH=1"});
  expect_deadline_failure(result, kNotPublished);
}

TEST(Launch, AppThatPublishesAnotherVersion) {
  AppData app;
  auto result = run_quillboard(app, {"status"}, {"QB_STANDIN_VERSION=2"});
  expect_deadline_failure(
      result, "the app speaks protocol 2 but this CLI speaks 3. Rebuild them together.");
}

TEST(Launch, AppWhoseAddressKeepsRefusing) {
  AppData app;
  auto result = run_quillboard(app, {"status"}, {"QB_STANDIN_REFUSE=1"});
  // The file found first makes the program connect, and the refusal starts a second app;
  // the last attempt read the second app's file.
  EXPECT_EQ(app.stand_in_starts().size(), 2u);
  auto last = app.handshake();
  ASSERT_TRUE(last.has_value());
  expect_deadline_failure(result, "could not reach the app on " + last->socket + ": " + refusal_text());
}

TEST(Launch, RefusedFirstConnectAfterLocatingStartsTheAppAgain) {
  AppData app;
  const std::string marker = platform::join(app.dir(), "refused-once");
  const std::string record = platform::join(app.dir(), "requests.txt");
  auto result = run_quillboard(
      app, {"status"}, {"QB_STANDIN_REFUSE_ONCE=" + marker, "QB_STANDIN_RECORD=" + record});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, kEmptyStatus);
  EXPECT_EQ(app.stand_in_starts().size(), 2u);
  EXPECT_EQ(lines_of(platform::read_file(record).value_or("")).size(), 1u);
}

}  // namespace
}  // namespace tov::testing
