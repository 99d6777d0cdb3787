// The grammar of JSON text, piece by piece, as serde_json reads it: the byte cursor, the
// tokens, numbers and strings, values, and the pieces that record reading combines. Where
// a failure is placed (the byte last read, or the next one) follows that library site by
// site, because agents compare the " at line L column C" suffix byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/error_code.h"
#include "json/json.h"

namespace tov::json {

// Reading stopped; the reason is kept in the Deserializer (see error()).
struct Stop {};
template <class T = void>
using Step = std::expected<T, Stop>;

// A number as the grammar reads it: a non-negative integer that fits is unsigned, a
// negative one that fits is signed, everything else is a double.
struct ParsedNumber {
  enum class Kind { kUnsigned, kSigned, kFloat };
  Kind kind = Kind::kUnsigned;
  std::uint64_t u = 0;
  std::int64_t i = 0;
  double f = 0;
};

class Deserializer {
 public:
  explicit Deserializer(std::string_view text);

  // The next byte without taking it, or -1 at the end.
  int peek() const { return index_ < size_ ? data_[index_] : -1; }
  void eat() { ++index_; }
  // Skips space, tab, line feed and carriage return; returns peek().
  int skip_whitespace();

  // Failing. fail() places the error on the byte last read, fail_peek() on the next
  // one; fail_custom() leaves it unplaced until fix_position() places it where reading
  // stands then, as the library does for the messages of record mapping.
  Stop fail(ErrorCode code);
  Stop fail_peek(ErrorCode code);
  Stop fail_custom(std::string message);
  void fix_position();
  ReadError error() const;

  Step<> parse_ident(std::string_view rest);
  // After a '-' (positive false) or at the first digit.
  Step<ParsedNumber> parse_integer(bool positive);
  // After the opening quotation mark: appends the string's text to `out`.
  Step<> parse_str(std::string& out);
  // A whole value into `out`, nesting counted.
  Step<> parse_value(Value& out);
  // Skips one well-formed value without building it; nesting is not counted here.
  Step<> ignore_value();

  Step<> parse_object_colon();
  // Between elements: true when an element follows (not yet read), false at ']'.
  Step<bool> next_element(bool& first);
  // Between members: true at the quotation mark of a key, false at '}'.
  Step<bool> next_key(bool& first);
  // The closing bracket after a visit: eats it, or names what stands there instead.
  std::optional<ErrorCode> end_seq();
  std::optional<ErrorCode> end_map();

  Step<> enter_nesting();
  void leave_nesting() { ++remaining_depth_; }

  // The failure for a value of the wrong type where `expected` was due: reads the value
  // to describe it, as in "invalid type: string \"x\", expected a boolean".
  Stop invalid_type(std::string_view expected);
  // Only whitespace may follow.
  Step<> end();

 private:
  struct Failure {
    std::string message;
    bool placed = false;
    TextPosition position;
  };

  int next() { return index_ < size_ ? data_[index_++] : -1; }
  int peek_or_null() const { return index_ < size_ ? data_[index_] : 0; }

  Step<ParsedNumber> parse_number_tail(std::size_t start, bool positive, std::uint64_t significand,
                                       bool overflowed);
  Step<double> float_from_text(std::size_t start, bool positive, std::uint64_t significand,
                               bool overflowed, std::int64_t exponent);
  Step<> parse_escape(std::string& out);
  Step<std::uint16_t> decode_hex_escape();
  Step<> ignore_str();
  Step<> ignore_escape();
  Step<> ignore_integer();
  Step<> ignore_decimal();
  Step<> ignore_exponent();
  Step<> parse_array(Value& out);
  Step<> parse_object(Value& out);

  std::string_view text_;
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t index_ = 0;
  int remaining_depth_ = kMaxDepth + 1;
  Failure failure_;
  std::string scratch_;
};

}  // namespace tov::json
