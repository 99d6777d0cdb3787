// Reading JSON text: each message once, number kinds, and inputs too deep or too long for any
// stack. (The differential test compares far more cases, places included, with serde_json
// itself where cargo is at hand; these run everywhere, under Wine too.)
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "json/json.h"
#include "support/row_name.h"

namespace tov::json {
namespace {

struct MessageCase {
  const char* name;
  std::string text;
  std::string message;
};

// A failure names the case and shows the text it reads.
void PrintTo(const MessageCase& c, std::ostream* os) {
  *os << c.name << " " << ::testing::PrintToString(c.text);
}

class ReadMessage : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ReadMessage, IsTheLibrarysTextAtItsPlace) {
  auto value = parse(GetParam().text);
  ASSERT_FALSE(value.has_value()) << GetParam().text;
  EXPECT_EQ(value.error().message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCode, ReadMessage,
    ::testing::Values(
        MessageCase{"UnclosedArray", "[1", "EOF while parsing a list at line 1 column 2"},
        MessageCase{"UnclosedObject", "{\"a\":1", "EOF while parsing an object at line 1 column 6"},
        MessageCase{"UnclosedString", "\"abc", "EOF while parsing a string at line 1 column 4"},
        MessageCase{"EmptyText", "", "EOF while parsing a value at line 1 column 0"},
        MessageCase{"MissingColon", "{\"a\" 1}", "expected `:` at line 1 column 6"},
        MessageCase{"MissingCommaInArray", "[1 2]", "expected `,` or `]` at line 1 column 4"},
        MessageCase{"MissingCommaInObject", "{\"a\":1 \"b\":2}", "expected `,` or `}` at line 1 column 8"},
        MessageCase{"MisspelledNull", "nulL", "expected ident at line 1 column 4"},
        MessageCase{"NotAValue", "x", "expected value at line 1 column 1"},
        MessageCase{"UnknownEscape", "\"\\q\"", "invalid escape at line 1 column 3"},
        MessageCase{"NoDigitAfterPoint", "1.e5", "invalid number at line 1 column 3"},
        MessageCase{"NumberOutOfRange", "1e309", "number out of range at line 1 column 5"},
        MessageCase{"InvalidUtf8", "\"\xc3\x28\"", "invalid unicode code point at line 1 column 4"},
        MessageCase{"ControlCharacter", "\"a\x01\"", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
        MessageCase{"NumberAsKey", "{1:2}", "key must be a string at line 1 column 2"},
        MessageCase{"LoneSurrogateEscape", "\"\\udc00\"", "lone leading surrogate in hex escape at line 1 column 7"},
        MessageCase{"TrailingComma", "[1,]", "trailing comma at line 1 column 4"},
        MessageCase{"TrailingCharacters", "[1] x", "trailing characters at line 1 column 5"},
        MessageCase{"UnpairedSurrogateEscape", "\"\\ud800x\"", "unexpected end of hex escape at line 1 column 8"},
        MessageCase{"NestedTooDeep", std::string(128, '[') + std::string(128, ']'), "recursion limit exceeded at line 1 column 128"}),
    tov::testing::row_name);

struct NumberCase {
  const char* name;
  std::string text;
  Value::value_t kind;
  double value;
};

void PrintTo(const NumberCase& c, std::ostream* os) {
  *os << c.name << " " << ::testing::PrintToString(c.text);
}

class ReadNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ReadNumber, KeepsTheLibrarysKind) {
  auto value = parse(GetParam().text);
  ASSERT_TRUE(value.has_value()) << value.error().message;
  EXPECT_EQ(value->type(), GetParam().kind) << GetParam().text;
  EXPECT_EQ(value->get<double>(), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReadNumber,
    ::testing::Values(NumberCase{"Zero", "0", Value::value_t::number_unsigned, 0},
                      NumberCase{"LargestUnsigned", "18446744073709551615", Value::value_t::number_unsigned, 18446744073709551615.0},
                      NumberCase{"MinusOne", "-1", Value::value_t::number_integer, -1},
                      NumberCase{"BelowSmallestSigned", "-9223372036854775809", Value::value_t::number_float, -9223372036854775808.0},
                      NumberCase{"AboveLargestUnsigned", "18446744073709551616", Value::value_t::number_float, 18446744073709551616.0},
                      NumberCase{"OnePointZero", "1.0", Value::value_t::number_float, 1},
                      NumberCase{"RoundsToSmallestSubnormal", "2.4703282292062328e-324", Value::value_t::number_float, 5e-324}),
    tov::testing::row_name);

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
