// Reading JSON text: every message with its place, number kinds, and inputs too deep or too
// long for any stack. (The differential test compares far more cases with serde_json
// itself, where cargo is at hand; these run everywhere, under Wine too.)
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "json/json.h"

namespace tov::json {
namespace {

struct MessageCase {
  std::string text;
  std::string message;
};

class ReadMessage : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ReadMessage, IsTheLibrarysTextAtItsPlace) {
  auto value = parse(GetParam().text);
  ASSERT_FALSE(value.has_value()) << GetParam().text;
  EXPECT_EQ(value.error().message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCode, ReadMessage,
    ::testing::Values(
        MessageCase{"[1", "EOF while parsing a list at line 1 column 2"},
        MessageCase{"{\"a\":1", "EOF while parsing an object at line 1 column 6"},
        MessageCase{"\"abc", "EOF while parsing a string at line 1 column 4"},
        MessageCase{"", "EOF while parsing a value at line 1 column 0"},
        MessageCase{"{\"a\" 1}", "expected `:` at line 1 column 6"},
        MessageCase{"[1 2]", "expected `,` or `]` at line 1 column 4"},
        MessageCase{"{\"a\":1 \"b\":2}", "expected `,` or `}` at line 1 column 8"},
        MessageCase{"nulL", "expected ident at line 1 column 4"},
        MessageCase{"x", "expected value at line 1 column 1"},
        MessageCase{"\"\\q\"", "invalid escape at line 1 column 3"},
        MessageCase{"1.e5", "invalid number at line 1 column 3"},
        MessageCase{"1e309", "number out of range at line 1 column 5"},
        MessageCase{"\"\xc3\x28\"", "invalid unicode code point at line 1 column 4"},
        MessageCase{"\"a\x01\"", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
        MessageCase{"{1:2}", "key must be a string at line 1 column 2"},
        MessageCase{"\"\\udc00\"", "lone leading surrogate in hex escape at line 1 column 7"},
        MessageCase{"[1,]", "trailing comma at line 1 column 4"},
        MessageCase{"[1] x", "trailing characters at line 1 column 5"},
        MessageCase{"\"\\ud800x\"", "unexpected end of hex escape at line 1 column 8"},
        MessageCase{std::string(128, '[') + std::string(128, ']'), "recursion limit exceeded at line 1 column 128"}));

INSTANTIATE_TEST_SUITE_P(
    Places, ReadMessage,
    ::testing::Values(
        // Lines count line feeds; columns count bytes, so a UTF-8 letter counts two.
        MessageCase{"[\n1,\n2 3]", "expected `,` or `]` at line 3 column 3"},
        MessageCase{"[\n", "EOF while parsing a list at line 2 column 0"},
        MessageCase{"\"\xc3\xa9\xc3\xa9\\q\"", "invalid escape at line 1 column 7"},
        MessageCase{"\r\n[\r\n,]", "expected value at line 3 column 1"},
        // The byte the library read last, or the next one: it differs site by site.
        MessageCase{"-", "EOF while parsing a value at line 1 column 1"},
        MessageCase{"1.", "EOF while parsing a value at line 1 column 2"},
        MessageCase{"1e", "EOF while parsing a value at line 1 column 2"},
        MessageCase{"01", "invalid number at line 1 column 2"},
        MessageCase{"-x", "invalid number at line 1 column 2"},
        MessageCase{"\"\\u12", "EOF while parsing a string at line 1 column 5"},
        MessageCase{"\"\\u12G4\"", "invalid escape at line 1 column 6"},
        // A byte-order mark is not whitespace, and neither is a form feed.
        MessageCase{"\xef\xbb\xbf{}", "expected value at line 1 column 1"},
        MessageCase{"\f1", "expected value at line 1 column 1"}));

struct NumberCase {
  std::string text;
  Value::value_t kind;
  double value;
};

class ReadNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ReadNumber, KeepsTheLibrarysKind) {
  auto value = parse(GetParam().text);
  ASSERT_TRUE(value.has_value()) << value.error().message;
  EXPECT_EQ(value->type(), GetParam().kind) << GetParam().text;
  EXPECT_EQ(value->get<double>(), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReadNumber,
    ::testing::Values(NumberCase{"0", Value::value_t::number_unsigned, 0},
                      NumberCase{"18446744073709551615", Value::value_t::number_unsigned, 18446744073709551615.0},
                      NumberCase{"-1", Value::value_t::number_integer, -1},
                      NumberCase{"-9223372036854775808", Value::value_t::number_integer, -9223372036854775808.0},
                      NumberCase{"-9223372036854775809", Value::value_t::number_float, -9223372036854775808.0},
                      NumberCase{"18446744073709551616", Value::value_t::number_float, 18446744073709551616.0},
                      NumberCase{"1.0", Value::value_t::number_float, 1},
                      NumberCase{"1e2", Value::value_t::number_float, 100},
                      NumberCase{"123456789012345680000", Value::value_t::number_float, 1.2345678901234568e20},
                      NumberCase{"1e-400", Value::value_t::number_float, 0},
                      NumberCase{"2.4703282292062328e-324", Value::value_t::number_float, 5e-324}));

TEST(ReadNumber, MinusZeroIsANegativeDouble) {
  for (const char* text : {"-0", "-0.0", "-1e-400"}) {
    auto value = parse(text);
    ASSERT_TRUE(value.has_value()) << text;
    ASSERT_TRUE(value->is_number_float()) << text;
    EXPECT_TRUE(std::signbit(value->get<double>())) << text;
  }
}

TEST(ReadError, CarriesLineAndColumnApart) {
  auto value = parse("{\n  \"a\": tru}");
  ASSERT_FALSE(value.has_value());
  EXPECT_EQ(value.error().message, "expected ident at line 2 column 11");
  EXPECT_EQ(value.error().line, 2u);
  EXPECT_EQ(value.error().column, 11u);
}

TEST(ReadValue, RepeatedKeyKeepsTheLastValue) {
  auto value = parse(R"({"b":1,"a":2,"b":{"c":3}})");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(*value, Value::object({{"a", 2u}, {"b", Value::object({{"c", 3u}})}}));
}

TEST(ReadValue, NoDepthOrLengthExhaustsTheReader) {
  const std::string deep(1'000'000, '[');
  auto value = parse(deep);
  ASSERT_FALSE(value.has_value());
  EXPECT_EQ(value.error().message, "recursion limit exceeded at line 1 column 128");

  auto last_level = parse(std::string(127, '[') + std::string(127, ']'));
  EXPECT_TRUE(last_level.has_value());

  const std::string long_text = "[\"" + std::string(8 << 20, 'x') + "\"]";
  auto long_value = parse(long_text);
  ASSERT_TRUE(long_value.has_value());
  EXPECT_EQ(long_value->at(0).get_ref<const std::string&>().size(), std::size_t{8 << 20});
}

}  // namespace
}  // namespace tov::json
