// Found by fuzzing the record reader: a value under a key that names no field is skipped
// without decoding its escapes, so a lone surrogate there reads, while the same escape in a
// field, in a key or in a value that is kept fails. The rest of a skipped string is checked as
// usual. Messages as the JSON library we follow gives them.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "cli_protocol/records.h"

namespace tov::protocol {
namespace {

struct Case {
  std::string text;
  std::optional<bool> ok;  // the answer's ok when it reads
  std::string error;       // the reading error otherwise
};

TEST(RegressionRecords, EscapesInSkippedValues) {
  const Case cases[] = {
      {R"({"ok":true,"x":"\udc00"})", true, ""},
      {R"({"ok":true,"x":"\ud800"})", true, ""},
      {R"({"ok":true,"x":{"\ud800":1}})", true, ""},
      {R"({"ok":true,"x":["\ud800x"]})", true, ""},
      {R"({"ok":false,"error":{"code":"c","message":"m","x":"\ud800"}})", false, ""},
      {"{\"ok\":true,\"dati\":{\t\"\\rd800\\udd00\\\"t`a\":1.5}}\r", true, ""},
      {R"({"ok":true,"data":"\udc00"})", std::nullopt,
       "lone leading surrogate in hex escape at line 1 column 25"},
      {R"({"ok":true,"\udc00":1})", std::nullopt,
       "lone leading surrogate in hex escape at line 1 column 18"},
      {R"([true,null,{"code":"c","message":"m","details":"\ud800"}])", std::nullopt,
       "unexpected end of hex escape at line 1 column 55"},
      {R"({"ok":true,"x":"\x"})", std::nullopt, "invalid escape at line 1 column 18"},
      {R"({"ok":true,"x":"\u12"})", std::nullopt, "invalid escape at line 1 column 21"},
      {R"({"ok":true,"x":"\u12g4"})", std::nullopt, "invalid escape at line 1 column 21"},
      {"{\"ok\":true,\"x\":\"\t\"}", std::nullopt,
       "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 16"},
  };
  for (const Case& c : cases) {
    auto response = read_response_record(c.text);
    if (c.ok) {
      ASSERT_TRUE(response.has_value()) << c.text << ": " << response.error().message;
      EXPECT_EQ(response->ok, *c.ok) << c.text;
      EXPECT_FALSE(response->data.has_value()) << c.text;
    } else {
      ASSERT_FALSE(response.has_value()) << c.text;
      EXPECT_EQ(response.error().message, c.error) << c.text;
    }
  }
}

TEST(RegressionRecords, HandshakeSkipsALoneSurrogateInAnExtraKey) {
  auto handshake =
      read_handshake(R"({"version":3,"socket":"s","token":"t","pid":1,"note":"\udfff"})");
  ASSERT_TRUE(handshake.has_value()) << handshake.error().message;
  EXPECT_EQ(handshake->version, 3u);
  EXPECT_EQ(handshake->socket, "s");
}

}  // namespace
}  // namespace tov::protocol
