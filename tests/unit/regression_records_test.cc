// Found by fuzzing the record reader: a value under a key that names no field is skipped
// without decoding its escapes, converting its numbers or counting its nesting, so a lone
// surrogate, a number out of range or deep nesting there reads, while the same in a field, in
// a key or in a value that is kept fails. The rest of a skipped value is checked as usual.
// Messages as the JSON library we follow gives them.
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

TEST(RegressionRecords, SkippedValuesAreOnlyCheckedForTheirForm) {
  const Case cases[] = {
      {R"({"ok":true,"x":"\udc00"})", true, ""},
      {R"({"ok":true,"x":"\ud800"})", true, ""},
      {R"({"ok":true,"x":{"\ud800":1}})", true, ""},
      {R"({"ok":true,"x":["\ud800x"]})", true, ""},
      {R"({"ok":false,"error":{"code":"c","message":"m","x":"\ud800"}})", false, ""},
      {"{\"ok\":true,\"dati\":{\t\"\\rd800\\udd00\\\"t`a\":1.5}}\r", true, ""},
      {R"({"ok":true,"dt":[[[22e2222]]]})", true, ""},
      {R"({"ok":true,"x":-1e400,"y":18446744073709551616e999})", true, ""},
      {R"({"ok":true,"x":)" + std::string(200, '[') + std::string(200, ']') + "}", true, ""},
      {R"({"ok":true,"x":)" + std::string(4000000, '[') + std::string(4000000, ']') + "}", true,
       ""},
      {R"({"ok":true,"data":22e2222})", std::nullopt, "number out of range at line 1 column 25"},
      {R"({"ok":false,"error":{"code":"c","message":"m","details":1e400}})", std::nullopt,
       "number out of range at line 1 column 61"},
      {R"({"ok":true,"x":01})", std::nullopt, "invalid number at line 1 column 17"},
      {R"({"ok":true,"x":1.})", std::nullopt, "invalid number at line 1 column 18"},
      {R"({"ok":true,"data":)" + std::string(200, '[') + std::string(200, ']') + "}",
       std::nullopt, "recursion limit exceeded at line 1 column 145"},
      {R"({"ok":true,"x":)" + std::string(1000000, '['), std::nullopt,
       "EOF while parsing a list at line 1 column 1000015"},
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
