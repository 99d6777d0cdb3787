// Reading the control file and the app's answer as records: both forms, skipped keys,
// null as absent, and every refusal with the library's words and place.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "cli_protocol/records.h"
#include "json/json.h"
#include "support/row_name.h"

namespace tov::protocol {
namespace {

// A response as one line: ok, data, error with its details; "-" for absent.
std::string describe(const Response& r) {
  auto text = [](const std::optional<json::Value>& v) { return v ? *json::to_compact(*v) : "-"; };
  std::string out = std::string(r.ok ? "ok" : "not ok") + " data=" + text(r.data);
  if (r.error) {
    out += " error=" + r.error->code + "/" + r.error->message + " details=" + text(r.error->details);
  } else {
    out += " error=-";
  }
  return out;
}

struct ResponseCase {
  const char* name;
  std::string text;
  std::string expected;  // describe() of the record, or the error message
};

// A failure names the case and shows the text it reads.
void PrintTo(const ResponseCase& c, std::ostream* os) {
  *os << c.name << " " << ::testing::PrintToString(c.text);
}

class ReadResponse : public ::testing::TestWithParam<ResponseCase> {};

TEST_P(ReadResponse, ReadsAsTheLibraryDoes) {
  auto r = read_response_record(GetParam().text);
  EXPECT_EQ(r ? describe(*r) : r.error().message, GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, ReadResponse,
    ::testing::Values(
        ResponseCase{"OkOnly", R"({"ok":true})", "ok data=- error=-"},
        ResponseCase{"NullData", R"({"ok":true,"data":null})", "ok data=- error=-"},
        ResponseCase{"NullError", R"({"ok":false,"error":null})", "not ok data=- error=-"},
        ResponseCase{"OkWithError", R"({"ok":true,"error":{"code":"c","message":"m"}})", "ok data=- error=c/m details=-"},
        ResponseCase{"FieldsInAnyOrder", R"({"error":{"details":null,"message":"m","code":"c"},"ok":false})",
                     "not ok data=- error=c/m details=-"},
        ResponseCase{"UnknownKeySkipped", R"({"ok":true,"data":{"b":1,"a":[null]},"x":{"deep":[1,{"y":2}]}})",
                     R"(ok data={"a":[null],"b":1} error=-)"},
        ResponseCase{"EscapedKey", R"({"o\u006b":true})", "ok data=- error=-"},
        ResponseCase{"ArrayOfOne", "[true]", "ok data=- error=-"},
        ResponseCase{"ArrayWithError", R"([false,null,["c","m"]])", "not ok data=- error=c/m details=-"},
        ResponseCase{"ArrayWithEveryField", R"([false,7,["c","m",{"k":1}]])", R"(not ok data=7 error=c/m details={"k":1})"},
        ResponseCase{"TrailingCrLf", "{\"ok\":true}\r\n", "ok data=- error=-"}),
    tov::testing::row_name);

INSTANTIATE_TEST_SUITE_P(
    Refused, ReadResponse,
    ::testing::Values(
        ResponseCase{"EmptyText", "", "EOF while parsing a value at line 1 column 0"},
        ResponseCase{"EmptyArray", "[]", "invalid length 0, expected struct Response with 3 elements at line 1 column 2"},
        ResponseCase{"ArrayTooLong", "[true,null,null,1]", "trailing characters at line 1 column 17"},
        ResponseCase{"DuplicateOk", R"({"ok":true,"ok":true})", "duplicate field `ok` at line 1 column 15"},
        ResponseCase{"MissingOk", R"({"data":1})", "missing field `ok` at line 1 column 10"},
        ResponseCase{"OkAsString", R"({"ok":"true"})", "invalid type: string \"true\", expected a boolean at line 1 column 12"},
        ResponseCase{"OkAsFloat", R"({"ok":1.0})", "invalid type: floating point `1`, expected a boolean at line 1 column 9"},
        ResponseCase{"OkAsNull", R"({"ok":null})", "invalid type: null, expected a boolean at line 1 column 10"},
        ResponseCase{"OkAsArray", R"({"ok":[]})", "invalid type: sequence, expected a boolean at line 1 column 6"},
        ResponseCase{"OkAsEscapedString", R"({"ok":"a\bb\u0301'\"\\"})",
                     R"(invalid type: string "a\u{8}b\u{301}'\"\\", expected a boolean at line 1 column 23)"},
        ResponseCase{"ErrorWithoutMessage", R"({"ok":false,"error":{"code":"c"}})", "missing field `message` at line 1 column 32"},
        ResponseCase{"ErrorAsString", R"({"ok":false,"error":"x"})", "invalid type: string \"x\", expected struct ResponseError at line 1 column 23"},
        ResponseCase{"ErrorArrayTooShort", R"({"ok":false,"error":["c"]})",
                     "invalid length 1, expected struct ResponseError with 3 elements at line 1 column 25"},
        ResponseCase{"BadSkippedValue", R"({"ok":true,"x":[1,]})", "expected value at line 1 column 19"},
        ResponseCase{"TrailingCharacters", R"({"ok":true}x)", "trailing characters at line 1 column 12"},
        ResponseCase{"ByteOrderMark", "\xef\xbb\xbf{\"ok\":true}", "expected value at line 1 column 1"}),
    tov::testing::row_name);

TEST(ReadResponse, DepthCountsTheRecordButNotSkippedValues) {
  auto nested = [](int levels) { return std::string(levels, '[') + std::string(levels, ']'); };
  EXPECT_TRUE(read_response_record("{\"ok\":true,\"data\":" + nested(126) + "}").has_value());
  auto too_deep = read_response_record("{\"ok\":true,\"data\":" + nested(127) + "}");
  ASSERT_FALSE(too_deep.has_value());
  EXPECT_EQ(too_deep.error().message, "recursion limit exceeded at line 1 column 145");
  // A key that names no field is skipped however deep it nests.
  EXPECT_TRUE(read_response_record("{\"ok\":true,\"x\":" + nested(100'000) + "}").has_value());
}

struct HandshakeCase {
  const char* name;
  std::string text;
  std::string expected;  // "version socket token pid", or the error message
};

void PrintTo(const HandshakeCase& c, std::ostream* os) {
  *os << c.name << " " << ::testing::PrintToString(c.text);
}

class ReadHandshake : public ::testing::TestWithParam<HandshakeCase> {};

TEST_P(ReadHandshake, ReadsAsTheLibraryDoes) {
  auto h = read_handshake(GetParam().text);
  const std::string got = h ? std::to_string(h->version) + " " + h->socket + " " + h->token + " " +
                                  std::to_string(h->pid)
                            : h.error().message;
  EXPECT_EQ(got, GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    All, ReadHandshake,
    ::testing::Values(
        HandshakeCase{"LargestPid", R"({"version":3,"socket":"127.0.0.1:5","token":"t","pid":4294967295})",
                      "3 127.0.0.1:5 t 4294967295"},
        HandshakeCase{"FieldsInAnyOrder", R"({"pid":1,"extra":{"a":[]},"token":"","socket":"s","version":0})", "0 s  1"},
        HandshakeCase{"Array", R"([3,"s","t",9])", "3 s t 9"},
        HandshakeCase{"ArrayTooShort", R"([3,"s","t"])", "invalid length 3, expected struct Handshake with 4 elements at line 1 column 11"},
        HandshakeCase{"VersionAboveU32", R"({"version":4294967296})", "invalid value: integer `4294967296`, expected u32 at line 1 column 21"},
        HandshakeCase{"NegativeVersion", R"({"version":-1})", "invalid value: integer `-1`, expected u32 at line 1 column 13"},
        HandshakeCase{"FloatVersion", R"({"version":3.0})", "invalid type: floating point `3`, expected u32 at line 1 column 14"},
        HandshakeCase{"ExponentVersion", R"({"version":1e16})",
                      "invalid type: floating point `10000000000000000`, expected u32 at line 1 column 15"},
        HandshakeCase{"NegativeZeroVersion", R"({"version":-0})", "invalid type: floating point `-0`, expected u32 at line 1 column 13"},
        HandshakeCase{"VersionAboveU64", R"({"version":18446744073709551616})",
                      "invalid type: floating point `18446744073709552000`, expected u32 at line 1 column 31"},
        HandshakeCase{"VersionAsString", R"({"version":"3"})", "invalid type: string \"3\", expected u32 at line 1 column 14"},
        HandshakeCase{"StringRecord", R"("text")", "invalid type: string \"text\", expected struct Handshake at line 1 column 6"},
        HandshakeCase{"MissingToken", R"({"version":3,"socket":"s","pid":1})", "missing field `token` at line 1 column 34"},
        HandshakeCase{"DuplicateVersion", R"({"version":3,"version"})", "duplicate field `version` at line 1 column 23"}),
    tov::testing::row_name);

}  // namespace
}  // namespace tov::protocol
