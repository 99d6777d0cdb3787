#include "json/deserializer.h"

#include <array>
#include <charconv>
#include <cstring>
#include <utility>

#include "json/byte_scan.h"
#include "json/float_text.h"
#include "json/rust_text.h"
#include "text/utf8.h"

namespace tov::json {

namespace {

// Bytes that end a run of plain string content: control characters, '"' and '\'.
constexpr std::array<bool, 256> kStringStop = [] {
  std::array<bool, 256> table{};
  for (int i = 0; i < 0x20; ++i) table[i] = true;
  table['"'] = true;
  table['\\'] = true;
  return table;
}();

constexpr std::array<std::int8_t, 256> kHexValue = [] {
  std::array<std::int8_t, 256> table{};
  for (auto& v : table) v = -1;
  for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<std::int8_t>(i);
  for (int i = 0; i < 6; ++i) {
    table['a' + i] = static_cast<std::int8_t>(10 + i);
    table['A' + i] = static_cast<std::int8_t>(10 + i);
  }
  return table;
}();

// Powers of ten that a double holds exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Would a * 10 + b pass `max`?
template <class T>
bool overflows(T a, T b, T max) {
  return a >= max / 10 && (a > max / 10 || b > max % 10);
}

constexpr std::uint64_t kU64Max = ~std::uint64_t{0};
constexpr std::int32_t kI32Max = 0x7FFFFFFF;

// Where the first significant digit of a number text stands: n for 10^(n-1) <= |x| < 10^n.
// Only asked about numbers too large or too small for a double, so rough is enough.
std::int64_t decimal_magnitude(std::string_view number) {
  std::size_t i = 0;
  if (i < number.size() && number[i] == '-') ++i;
  std::int64_t magnitude = 0;
  bool significant = false;
  for (; i < number.size() && is_digit(number[i]); ++i) {
    if (number[i] != '0') significant = true;
    if (significant) ++magnitude;
  }
  if (i < number.size() && number[i] == '.') {
    for (++i; i < number.size() && is_digit(number[i]); ++i) {
      if (!significant && number[i] == '0') --magnitude;
      if (number[i] != '0') significant = true;
    }
  }
  if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) negative = number[i++] == '-';
    std::int64_t exponent = 0;
    for (; i < number.size() && is_digit(number[i]); ++i) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (number[i] - '0');
    }
    magnitude += negative ? -exponent : exponent;
  }
  return magnitude;
}

void store_number(Value& out, const ParsedNumber& n) {
  switch (n.kind) {
    case ParsedNumber::Kind::kUnsigned: out = n.u; break;
    case ParsedNumber::Kind::kSigned: out = n.i; break;
    case ParsedNumber::Kind::kFloat: out = n.f; break;
  }
}

ParsedNumber float_number(double f) {
  ParsedNumber n;
  n.kind = ParsedNumber::Kind::kFloat;
  n.f = f;
  return n;
}

std::string describe_number(const ParsedNumber& n) {
  switch (n.kind) {
    case ParsedNumber::Kind::kUnsigned: return "integer `" + std::to_string(n.u) + "`";
    case ParsedNumber::Kind::kSigned: return "integer `" + std::to_string(n.i) + "`";
    case ParsedNumber::Kind::kFloat: break;
  }
  return "floating point `" + rust_display_float(n.f) + "`";
}

}  // namespace

Deserializer::Deserializer(std::string_view text)
    : text_(text), data_(reinterpret_cast<const std::uint8_t*>(text.data())), size_(text.size()) {}

int Deserializer::skip_whitespace() {
  while (index_ < size_) {
    const std::uint8_t c = data_[index_];
    if (c != ' ' && c != '\n' && c != '\t' && c != '\r') return c;
    ++index_;
  }
  return -1;
}

Stop Deserializer::fail(ErrorCode code) {
  failure_ = {std::string(error_message(code)), true, position_of_index(text_, index_)};
  return {};
}

Stop Deserializer::fail_peek(ErrorCode code) {
  const std::size_t at = index_ < size_ ? index_ + 1 : size_;
  failure_ = {std::string(error_message(code)), true, position_of_index(text_, at)};
  return {};
}

Stop Deserializer::fail_custom(std::string message) {
  failure_ = {std::move(message), false, {}};
  return {};
}

void Deserializer::fix_position() {
  if (!failure_.placed) {
    failure_.placed = true;
    failure_.position = position_of_index(text_, index_);
  }
}

ReadError Deserializer::error() const { return make_read_error(failure_.message, failure_.position); }

Step<> Deserializer::parse_ident(std::string_view rest) {
  for (char expected : rest) {
    const int c = next();
    if (c < 0) return std::unexpected(fail(ErrorCode::kEofWhileParsingValue));
    if (c != static_cast<unsigned char>(expected)) return std::unexpected(fail(ErrorCode::kExpectedSomeIdent));
  }
  return {};
}

Step<ParsedNumber> Deserializer::parse_integer(bool positive) {
  const std::size_t start = positive ? index_ : index_ - 1;
  const int first = next();
  if (first < 0) return std::unexpected(fail(ErrorCode::kEofWhileParsingValue));
  if (first == '0') {
    // There can be only one leading '0'.
    if (is_digit(peek_or_null())) return std::unexpected(fail_peek(ErrorCode::kInvalidNumber));
    return parse_number_tail(start, positive, 0, false);
  }
  if (first < '1' || first > '9') return std::unexpected(fail(ErrorCode::kInvalidNumber));
  std::uint64_t significand = static_cast<std::uint64_t>(first - '0');
  bool overflowed = false;
  for (int c = peek_or_null(); is_digit(c); c = peek_or_null()) {
    eat();
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (overflowed || overflows(significand, digit, kU64Max)) {
      overflowed = true;
    } else {
      significand = significand * 10 + digit;
    }
  }
  return parse_number_tail(start, positive, significand, overflowed);
}

Step<ParsedNumber> Deserializer::parse_number_tail(std::size_t start, bool positive,
                                                   std::uint64_t significand, bool overflowed) {
  int c = peek_or_null();
  const bool has_fraction = c == '.';
  const bool has_exponent_mark = c == 'e' || c == 'E';
  if (!has_fraction && !has_exponent_mark) {
    if (overflowed) {
      auto f = float_from_text(start, positive, significand, true, 0);
      if (!f) return std::unexpected(f.error());
      return float_number(*f);
    }
    ParsedNumber n;
    if (positive) {
      n.kind = ParsedNumber::Kind::kUnsigned;
      n.u = significand;
      return n;
    }
    // A negative that does not fit (or "-0") becomes a double.
    const auto negated = static_cast<std::int64_t>(std::uint64_t{0} - significand);
    if (negated >= 0) return float_number(-static_cast<double>(significand));
    n.kind = ParsedNumber::Kind::kSigned;
    n.i = negated;
    return n;
  }

  std::int64_t exponent = 0;
  if (has_fraction) {
    eat();
    const std::size_t fraction_start = index_;
    for (c = peek_or_null(); is_digit(c); c = peek_or_null()) {
      eat();
      const auto digit = static_cast<std::uint64_t>(c - '0');
      if (overflowed || overflows(significand, digit, kU64Max)) {
        overflowed = true;
      } else {
        significand = significand * 10 + digit;
        --exponent;
      }
    }
    // At least one digit after the decimal point.
    if (index_ == fraction_start) {
      return std::unexpected(
          fail_peek(peek() >= 0 ? ErrorCode::kInvalidNumber : ErrorCode::kEofWhileParsingValue));
    }
    c = peek_or_null();
  }
  if (c != 'e' && c != 'E') {
    auto f = float_from_text(start, positive, significand, overflowed, exponent);
    if (!f) return std::unexpected(f.error());
    return float_number(*f);
  }

  eat();
  bool positive_exponent = true;
  c = peek_or_null();
  if (c == '+' || c == '-') {
    eat();
    positive_exponent = c == '+';
  }
  c = next();
  if (c < 0) return std::unexpected(fail(ErrorCode::kEofWhileParsingValue));
  if (!is_digit(c)) return std::unexpected(fail(ErrorCode::kInvalidNumber));
  std::int32_t written = c - '0';
  for (c = peek_or_null(); is_digit(c); c = peek_or_null()) {
    eat();
    const std::int32_t digit = c - '0';
    if (overflows(written, digit, kI32Max)) {
      // An exponent past 32 bits: infinity is an error, anything else is zero.
      const bool zero_significand = !overflowed && significand == 0;
      if (!zero_significand && positive_exponent) {
        return std::unexpected(fail(ErrorCode::kNumberOutOfRange));
      }
      while (is_digit(peek_or_null())) eat();
      return float_number(positive ? 0.0 : -0.0);
    }
    written = written * 10 + digit;
  }
  exponent += positive_exponent ? written : -static_cast<std::int64_t>(written);
  auto f = float_from_text(start, positive, significand, overflowed, exponent);
  if (!f) return std::unexpected(f.error());
  return float_number(*f);
}

Step<double> Deserializer::float_from_text(std::size_t start, bool positive,
                                           std::uint64_t significand, bool overflowed,
                                           std::int64_t exponent) {
  if (!overflowed) {
    if (significand == 0) return positive ? 0.0 : -0.0;
    // Both operands exact: one correctly rounded operation gives the correctly rounded value.
    if (significand <= (std::uint64_t{1} << 53) && exponent >= -22 && exponent <= 22) {
      double f = static_cast<double>(significand);
      f = exponent >= 0 ? f * kExactPowers[exponent] : f / kExactPowers[-exponent];
      return positive ? f : -f;
    }
  }
  // The text itself, sign included, read with correct rounding.
  const char* first = text_.data() + start;
  const char* last = text_.data() + index_;
  double f = 0;
  auto [ptr, ec] = std::from_chars(first, last, f);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) {
    if (decimal_magnitude(std::string_view(first, static_cast<std::size_t>(last - first))) > 0) {
      return std::unexpected(fail(ErrorCode::kNumberOutOfRange));
    }
    return positive ? 0.0 : -0.0;
  }
  return f;
}

Step<> Deserializer::parse_str(std::string& out) {
  const std::size_t out_start = out.size();
  std::size_t start = index_;
  std::uint64_t seen = 0;  // every raw byte or'ed in: is any of them not ASCII?
  for (;;) {
    while (size_ - index_ >= 8) {
      const std::uint64_t word = load_word(text_.data() + index_);
      if (string_stops(word)) break;
      seen |= word;
      index_ += 8;
    }
    while (index_ < size_ && !kStringStop[data_[index_]]) seen |= data_[index_++];
    if (index_ == size_) return std::unexpected(fail(ErrorCode::kEofWhileParsingString));
    const std::uint8_t c = data_[index_];
    if (c == '"') {
      out.append(text_.data() + start, index_ - start);
      ++index_;
      if ((seen & kHighBits) && !text::is_valid_utf8(std::string_view(out).substr(out_start))) {
        return std::unexpected(fail(ErrorCode::kInvalidUnicodeCodePoint));
      }
      return {};
    }
    if (c == '\\') {
      out.append(text_.data() + start, index_ - start);
      ++index_;
      if (auto r = parse_escape(out); !r) return r;
      start = index_;
      continue;
    }
    ++index_;
    return std::unexpected(fail(ErrorCode::kControlCharacterWhileParsingString));
  }
}

Step<> Deserializer::parse_escape(std::string& out) {
  const int c = next();
  switch (c) {
    case -1: return std::unexpected(fail(ErrorCode::kEofWhileParsingString));
    case '"': out.push_back('"'); return {};
    case '\\': out.push_back('\\'); return {};
    case '/': out.push_back('/'); return {};
    case 'b': out.push_back('\b'); return {};
    case 'f': out.push_back('\f'); return {};
    case 'n': out.push_back('\n'); return {};
    case 'r': out.push_back('\r'); return {};
    case 't': out.push_back('\t'); return {};
    case 'u': break;
    default: return std::unexpected(fail(ErrorCode::kInvalidEscape));
  }
  auto first = decode_hex_escape();
  if (!first) return std::unexpected(first.error());
  const std::uint16_t n1 = *first;
  if (n1 >= 0xDC00 && n1 <= 0xDFFF) return std::unexpected(fail(ErrorCode::kLoneLeadingSurrogateInHexEscape));
  if (n1 < 0xD800 || n1 > 0xDBFF) {
    text::append_utf8(out, n1);
    return {};
  }
  // A leading surrogate needs "\u" and a trailing one right after it.
  for (const int expected : {'\\', 'u'}) {
    const int d = peek();
    if (d < 0) return std::unexpected(fail(ErrorCode::kEofWhileParsingString));
    eat();
    if (d != expected) return std::unexpected(fail(ErrorCode::kUnexpectedEndOfHexEscape));
  }
  auto second = decode_hex_escape();
  if (!second) return std::unexpected(second.error());
  const std::uint16_t n2 = *second;
  if (n2 < 0xDC00 || n2 > 0xDFFF) return std::unexpected(fail(ErrorCode::kLoneLeadingSurrogateInHexEscape));
  text::append_utf8(out, ((static_cast<char32_t>(n1 - 0xD800) << 10) | (n2 - 0xDC00)) + 0x10000);
  return {};
}

Step<std::uint16_t> Deserializer::decode_hex_escape() {
  if (size_ - index_ < 4) {
    index_ = size_;
    return std::unexpected(fail(ErrorCode::kEofWhileParsingString));
  }
  std::uint16_t n = 0;
  for (int i = 0; i < 4; ++i) {
    const std::int8_t v = kHexValue[data_[index_++]];
    if (v < 0) return std::unexpected(fail(ErrorCode::kInvalidEscape));
    n = static_cast<std::uint16_t>((n << 4) + v);
  }
  return n;
}

Step<> Deserializer::ignore_str() {
  for (;;) {
    while (index_ < size_ && !kStringStop[data_[index_]]) ++index_;
    if (index_ == size_) return std::unexpected(fail(ErrorCode::kEofWhileParsingString));
    const std::uint8_t c = data_[index_];
    if (c == '"') {
      ++index_;
      return {};
    }
    if (c != '\\') {
      // Unlike parse_str, the control character is not taken before failing.
      return std::unexpected(fail(ErrorCode::kControlCharacterWhileParsingString));
    }
    ++index_;
    if (auto r = ignore_escape(); !r) return r;
  }
}

Step<> Deserializer::ignore_escape() {
  const int c = next();
  switch (c) {
    case -1: return std::unexpected(fail(ErrorCode::kEofWhileParsingString));
    case '"':
    case '\\':
    case '/':
    case 'b':
    case 'f':
    case 'n':
    case 'r':
    case 't': return {};
    case 'u': {
      // Any code unit will do here, lone surrogates included.
      auto n = decode_hex_escape();
      if (!n) return std::unexpected(n.error());
      return {};
    }
    default: return std::unexpected(fail(ErrorCode::kInvalidEscape));
  }
}

Step<> Deserializer::ignore_integer() {
  const int c = index_ < size_ ? data_[index_++] : 0;
  if (c == '0') {
    if (is_digit(peek_or_null())) return std::unexpected(fail_peek(ErrorCode::kInvalidNumber));
  } else if (c >= '1' && c <= '9') {
    while (is_digit(peek_or_null())) eat();
  } else {
    return std::unexpected(fail(ErrorCode::kInvalidNumber));
  }
  const int p = peek_or_null();
  if (p == '.') return ignore_decimal();
  if (p == 'e' || p == 'E') return ignore_exponent();
  return {};
}

Step<> Deserializer::ignore_decimal() {
  eat();
  bool digit = false;
  while (is_digit(peek_or_null())) {
    eat();
    digit = true;
  }
  if (!digit) return std::unexpected(fail_peek(ErrorCode::kInvalidNumber));
  const int p = peek_or_null();
  if (p == 'e' || p == 'E') return ignore_exponent();
  return {};
}

Step<> Deserializer::ignore_exponent() {
  eat();
  const int sign = peek_or_null();
  if (sign == '+' || sign == '-') eat();
  const int c = index_ < size_ ? data_[index_++] : 0;
  if (!is_digit(c)) return std::unexpected(fail(ErrorCode::kInvalidNumber));
  while (is_digit(peek_or_null())) eat();
  return {};
}

Step<> Deserializer::ignore_value() {
  // The open arrays and objects, innermost last; `enclosing` is the one being filled.
  std::vector<char> frames;
  std::optional<char> enclosing;
  for (;;) {
    const int peeked = skip_whitespace();
    std::optional<char> opened;
    switch (peeked) {
      case -1: return std::unexpected(fail_peek(ErrorCode::kEofWhileParsingValue));
      case 'n':
        eat();
        if (auto r = parse_ident("ull"); !r) return r;
        break;
      case 't':
        eat();
        if (auto r = parse_ident("rue"); !r) return r;
        break;
      case 'f':
        eat();
        if (auto r = parse_ident("alse"); !r) return r;
        break;
      case '-':
        eat();
        if (auto r = ignore_integer(); !r) return r;
        break;
      case '"':
        eat();
        if (auto r = ignore_str(); !r) return r;
        break;
      case '[':
      case '{':
        if (enclosing) frames.push_back(*enclosing);
        enclosing.reset();
        eat();
        opened = static_cast<char>(peeked);
        break;
      default:
        if (!is_digit(peeked)) return std::unexpected(fail_peek(ErrorCode::kExpectedSomeValue));
        if (auto r = ignore_integer(); !r) return r;
    }

    bool accept_comma;
    char frame;
    if (opened) {
      accept_comma = false;
      frame = *opened;
    } else if (enclosing) {
      accept_comma = true;
      frame = *enclosing;
      enclosing.reset();
    } else if (!frames.empty()) {
      accept_comma = true;
      frame = frames.back();
      frames.pop_back();
    } else {
      return {};
    }

    for (;;) {
      const int c = skip_whitespace();
      if (c == ',' && accept_comma) {
        eat();
        break;
      }
      const bool closes = (c == ']' && frame == '[') || (c == '}' && frame == '{');
      if (!closes) {
        if (c < 0) {
          return std::unexpected(fail_peek(frame == '[' ? ErrorCode::kEofWhileParsingList
                                                         : ErrorCode::kEofWhileParsingObject));
        }
        if (accept_comma) {
          return std::unexpected(fail_peek(frame == '[' ? ErrorCode::kExpectedListCommaOrEnd
                                                         : ErrorCode::kExpectedObjectCommaOrEnd));
        }
        break;
      }
      eat();
      if (frames.empty()) return {};
      frame = frames.back();
      frames.pop_back();
      accept_comma = true;
    }

    if (frame == '{') {
      const int quote = skip_whitespace();
      if (quote < 0) return std::unexpected(fail_peek(ErrorCode::kEofWhileParsingObject));
      if (quote != '"') return std::unexpected(fail_peek(ErrorCode::kKeyMustBeAString));
      eat();
      if (auto r = ignore_str(); !r) return r;
      const int colon = skip_whitespace();
      if (colon < 0) return std::unexpected(fail_peek(ErrorCode::kEofWhileParsingObject));
      if (colon != ':') return std::unexpected(fail_peek(ErrorCode::kExpectedColon));
      eat();
    }
    enclosing = frame;
  }
}

Step<> Deserializer::parse_value(Value& out) {
  const int c = skip_whitespace();
  switch (c) {
    case -1: return std::unexpected(fail_peek(ErrorCode::kEofWhileParsingValue));
    case 'n':
      eat();
      out = nullptr;
      return parse_ident("ull");
    case 't':
      eat();
      out = true;
      return parse_ident("rue");
    case 'f':
      eat();
      out = false;
      return parse_ident("alse");
    case '"':
      eat();
      out = std::string();
      return parse_str(out.get_ref<std::string&>());
    case '[': return parse_array(out);
    case '{': return parse_object(out);
    case '-': eat(); break;
    default:
      if (!is_digit(c)) return std::unexpected(fail_peek(ErrorCode::kExpectedSomeValue));
  }
  auto n = parse_integer(c != '-');
  if (!n) return std::unexpected(n.error());
  store_number(out, *n);
  return {};
}

Step<> Deserializer::parse_array(Value& out) {
  if (auto r = enter_nesting(); !r) return r;
  eat();
  out = Value::array();
  auto& elements = out.get_ref<Value::array_t&>();
  bool first = true;
  for (;;) {
    auto more = next_element(first);
    if (!more) return std::unexpected(more.error());
    if (!*more) break;
    elements.emplace_back();
    if (auto r = parse_value(elements.back()); !r) return r;
  }
  leave_nesting();
  eat();  // the ']' that ended the elements
  return {};
}

Step<> Deserializer::parse_object(Value& out) {
  if (auto r = enter_nesting(); !r) return r;
  eat();
  out = Value::object();
  auto& members = out.get_ref<Value::object_t&>();
  bool first = true;
  for (;;) {
    auto more = next_key(first);
    if (!more) return std::unexpected(more.error());
    if (!*more) break;
    eat();
    std::string key;
    if (auto r = parse_str(key); !r) return r;
    if (auto r = parse_object_colon(); !r) return r;
    // Keys usually come sorted, so try the end first. A repeated key keeps its last value.
    Value* slot;
    if (members.empty() || members.rbegin()->first < key) {
      slot = &members.emplace_hint(members.end(), std::move(key), nullptr)->second;
    } else {
      slot = &members.insert_or_assign(std::move(key), nullptr).first->second;
    }
    if (auto r = parse_value(*slot); !r) return r;
  }
  leave_nesting();
  eat();  // the '}' that ended the members
  return {};
}

Step<> Deserializer::parse_object_colon() {
  const int c = skip_whitespace();
  if (c == ':') {
    eat();
    return {};
  }
  return std::unexpected(
      fail_peek(c < 0 ? ErrorCode::kEofWhileParsingObject : ErrorCode::kExpectedColon));
}

Step<bool> Deserializer::next_element(bool& first) {
  int c = skip_whitespace();
  if (c == ']') return false;
  if (c == ',' && !first) {
    eat();
    c = skip_whitespace();
  } else if (c >= 0) {
    if (!first) return std::unexpected(fail_peek(ErrorCode::kExpectedListCommaOrEnd));
    first = false;
  } else {
    return std::unexpected(fail_peek(ErrorCode::kEofWhileParsingList));
  }
  if (c == ']') return std::unexpected(fail_peek(ErrorCode::kTrailingComma));
  if (c < 0) return std::unexpected(fail_peek(ErrorCode::kEofWhileParsingValue));
  return true;
}

Step<bool> Deserializer::next_key(bool& first) {
  int c = skip_whitespace();
  if (c == '}') return false;
  if (c == ',' && !first) {
    eat();
    c = skip_whitespace();
  } else if (c >= 0) {
    if (!first) return std::unexpected(fail_peek(ErrorCode::kExpectedObjectCommaOrEnd));
    first = false;
  } else {
    return std::unexpected(fail_peek(ErrorCode::kEofWhileParsingObject));
  }
  if (c == '"') return true;
  if (c == '}') return std::unexpected(fail_peek(ErrorCode::kTrailingComma));
  if (c < 0) return std::unexpected(fail_peek(ErrorCode::kEofWhileParsingValue));
  return std::unexpected(fail_peek(ErrorCode::kKeyMustBeAString));
}

std::optional<ErrorCode> Deserializer::end_seq() {
  const int c = skip_whitespace();
  if (c == ']') {
    eat();
    return std::nullopt;
  }
  if (c == ',') {
    eat();
    return skip_whitespace() == ']' ? ErrorCode::kTrailingComma : ErrorCode::kTrailingCharacters;
  }
  return c < 0 ? ErrorCode::kEofWhileParsingList : ErrorCode::kTrailingCharacters;
}

std::optional<ErrorCode> Deserializer::end_map() {
  const int c = skip_whitespace();
  if (c == '}') {
    eat();
    return std::nullopt;
  }
  if (c == ',') return ErrorCode::kTrailingComma;
  return c < 0 ? ErrorCode::kEofWhileParsingObject : ErrorCode::kTrailingCharacters;
}

Step<> Deserializer::enter_nesting() {
  if (--remaining_depth_ == 0) return std::unexpected(fail_peek(ErrorCode::kRecursionLimitExceeded));
  return {};
}

Stop Deserializer::invalid_type(std::string_view expected) {
  std::string found;
  const int c = peek_or_null();
  switch (c) {
    case 'n':
      eat();
      if (!parse_ident("ull")) return {};
      found = "null";
      break;
    case 't':
      eat();
      if (!parse_ident("rue")) return {};
      found = "boolean `true`";
      break;
    case 'f':
      eat();
      if (!parse_ident("alse")) return {};
      found = "boolean `false`";
      break;
    case '"': {
      eat();
      scratch_.clear();
      if (!parse_str(scratch_)) return {};
      found = "string " + rust_debug_str(scratch_);
      break;
    }
    case '[': found = "sequence"; break;
    case '{': found = "map"; break;
    case '-':
      eat();
      [[fallthrough]];
    default: {
      if (c != '-' && !is_digit(c)) return fail_peek(ErrorCode::kExpectedSomeValue);
      auto n = parse_integer(c != '-');
      if (!n) return {};
      found = describe_number(*n);
    }
  }
  fail_custom("invalid type: " + found + ", expected " + std::string(expected));
  fix_position();
  return {};
}

Step<> Deserializer::end() {
  if (skip_whitespace() >= 0) return std::unexpected(fail_peek(ErrorCode::kTrailingCharacters));
  return {};
}

}  // namespace tov::json
