// Writing values as text: number forms, values that have no text, and values built in memory
// deeper than any reader would allow. (Escapes and layouts of every kind are compared with
// serde_json itself by the differential test.)
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>

#include "json/float_text.h"
#include "json/json.h"
#include "support/row_name.h"

namespace tov::json {
namespace {

std::string compact(const Value& value) {
  auto text = to_compact(value);
  return text ? *text : "<error: " + text.error().message + ">";
}

struct DoubleCase {
  const char* name;
  double value;
  std::string serde_form;
  std::string display_form;
};

// A failure names the case and shows its value as the shortest text that reads back as it.
void PrintTo(const DoubleCase& c, std::ostream* os) {
  char text[32];
  auto [end, ec] = std::to_chars(text, text + sizeof text, c.value);
  *os << c.name << " " << std::string_view(text, ec == std::errc() ? end : text);
}

class WriteDouble : public ::testing::TestWithParam<DoubleCase> {};

TEST_P(WriteDouble, ShortestInBothForms) {
  EXPECT_EQ(compact(GetParam().value), GetParam().serde_form);
  EXPECT_EQ(rust_display_float(GetParam().value), GetParam().display_form);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, WriteDouble,
    ::testing::Values(
        DoubleCase{"One", 1.0, "1.0", "1"},
        DoubleCase{"NegativeZero", -0.0, "-0.0", "-0"},
        DoubleCase{"TenToThe16", 1e16, "1e16", "10000000000000000"},
        DoubleCase{"TenToTheMinus5", 1e-5, "0.00001", "0.00001"},
        DoubleCase{"TenToTheMinus6", 1e-6, "1e-6", "0.000001"},
        DoubleCase{"LargeExponent", 1.5e300, "1.5e300", "15" + std::string(299, '0')},
        DoubleCase{"SmallestSubnormal", 5e-324, "5e-324", "0." + std::string(323, '0') + "5"},
        DoubleCase{"LargestFinite", 1.7976931348623157e308, "1.7976931348623157e308",
                   "17976931348623157" + std::string(292, '0')},
        // Exactly halfway between two shortest forms: ryu takes the even one, Rust the upper.
        DoubleCase{"HalfwayBetweenShortest", 685706560348992.25, "685706560348992.2", "685706560348992.3"}),
    tov::testing::row_name);

TEST(WriteValue, AppendsAfterWhatIsThere) {
  std::string out = "prefix ";
  ASSERT_TRUE(append_compact(out, Value::object({{"k", Value::array({true, false})}})).has_value());
  EXPECT_EQ(out, R"(prefix {"k":[true,false]})");
  ASSERT_TRUE(append_string(out, "\n").has_value());
  EXPECT_EQ(out, R"(prefix {"k":[true,false]}"\n")");
}

struct UnwritableCase {
  const char* name;
  Value value;
  std::string message;
};

TEST(WriteValue, WhatHasNoTextIsAnErrorNeverGarbage) {
  const std::string not_utf8 = "a\xff";
  const UnwritableCase cases[] = {
      {"NaN", Value(std::nan("")), "number is not finite"},
      {"infinity", Value(std::numeric_limits<double>::infinity()), "number is not finite"},
      {"nested -infinity", Value::array({1, Value::object({{"x", -std::numeric_limits<double>::infinity()}})}),
       "number is not finite"},
      {"string", Value(not_utf8), "string is not valid UTF-8"},
      {"lone surrogate", Value(std::string("\xed\xa0\x80")), "string is not valid UTF-8"},
      {"key", Value::object({{not_utf8, 1}}), "string is not valid UTF-8"},
      {"binary", Value::binary({1, 2}), "binary data has no JSON text"},
  };
  for (const auto& c : cases) {
    auto compact_text = to_compact(c.value);
    ASSERT_FALSE(compact_text.has_value()) << c.name;
    EXPECT_EQ(compact_text.error().message, c.message) << c.name;
    auto pretty_text = to_pretty(c.value);
    ASSERT_FALSE(pretty_text.has_value()) << c.name;
    EXPECT_EQ(pretty_text.error().message, c.message) << c.name;
  }
  std::string out;
  EXPECT_FALSE(append_string(out, not_utf8).has_value());
}

Value nested(int depth) {
  Value value = 1;
  for (int i = 0; i < depth; ++i) {
    Value outer = i % 2 ? Value::array() : Value::object();
    if (outer.is_array()) {
      outer.push_back(std::move(value));
    } else {
      outer["k"] = std::move(value);
    }
    value = std::move(outer);
  }
  return value;
}

TEST(WriteValue, DeepValuesBuiltInMemoryAreWritten) {
  auto text = to_compact(nested(200'000));
  ASSERT_TRUE(text.has_value());
  // 100,000 times [...] and 100,000 times {"k":...} around the 1.
  EXPECT_EQ(text->size(), std::size_t{100'000 * 2 + 100'000 * 6 + 1});
  EXPECT_TRUE(text->starts_with("[{\"k\":[{"));

  auto pretty = to_pretty(nested(2'000));
  ASSERT_TRUE(pretty.has_value());
  EXPECT_TRUE(pretty->ends_with("\n  }\n]"));
}

}  // namespace
}  // namespace tov::json
