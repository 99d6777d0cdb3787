#include "json/float_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace tov::json {

namespace {

// The shortest digits of a finite, non-zero magnitude: value = 0.DIGITS x 10^point.
struct ShortestDigits {
  char digits[20] = {};
  int length = 0;
  int point = 0;
};

ShortestDigits shortest_digits(double magnitude) {
  // to_chars in scientific form gives exactly the shortest round-trip digits: "d.ddde±x".
  char text[40];
  auto [end, ec] = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific);
  (void)ec;  // 40 bytes always hold a double in this form
  ShortestDigits result;
  const char* p = text;
  for (; p < end && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') result.digits[result.length++] = *p;
  }
  int exponent = 0;
  if (p < end) std::from_chars(p + (p[1] == '+' ? 2 : 1), end, exponent);
  result.point = exponent + 1;
  return result;
}

void append_exponent(std::string& out, int exponent) {
  char text[8];
  auto [end, ec] = std::to_chars(text, text + sizeof text, exponent);
  (void)ec;
  out.append(text, end);
}

}  // namespace

void append_float(std::string& out, double value) {
  if (std::signbit(value)) out.push_back('-');
  const double magnitude = std::fabs(value);
  if (magnitude == 0) {
    out.append("0.0");
    return;
  }
  const ShortestDigits d = shortest_digits(magnitude);
  const int length = d.length;
  const int point = d.point;  // digits.length + decimal exponent of the last digit
  const int k = point - length;
  if (k >= 0 && point <= 16) {
    // 1234e7 -> 12340000000.0
    out.append(d.digits, length);
    out.append(static_cast<std::size_t>(k), '0');
    out.append(".0");
  } else if (point > 0 && point <= 16) {
    // 1234e-2 -> 12.34
    out.append(d.digits, point);
    out.push_back('.');
    out.append(d.digits + point, length - point);
  } else if (point > -5 && point <= 0) {
    // 1234e-6 -> 0.001234
    out.append("0.");
    out.append(static_cast<std::size_t>(-point), '0');
    out.append(d.digits, length);
  } else if (length == 1) {
    // 1e30
    out.push_back(d.digits[0]);
    out.push_back('e');
    append_exponent(out, point - 1);
  } else {
    // 1234e30 -> 1.234e33
    out.push_back(d.digits[0]);
    out.push_back('.');
    out.append(d.digits + 1, length - 1);
    out.push_back('e');
    append_exponent(out, point - 1);
  }
}

namespace {

// Rust picks the same shortest length as ryu, but where the double lies exactly halfway
// between two such candidates ryu takes the even one and Rust the upper one.
void round_ties_up(ShortestDigits& d, double magnitude) {
  // Every decimal digit of the double (at most 767 are significant).
  char exact[900];
  auto [end, ec] = std::to_chars(exact, exact + sizeof exact, magnitude, std::chars_format::scientific, 800);
  if (ec != std::errc{}) return;
  std::string_view text(exact, static_cast<std::size_t>(end - exact));
  text = text.substr(0, text.find('e'));
  std::string digits;
  for (char c : text) {
    if (c != '.') digits.push_back(c);
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  const auto n = static_cast<std::size_t>(d.length);
  if (digits.size() != n + 1 || digits.back() != '5' || digits.compare(0, n, d.digits, n) != 0) return;
  int i = d.length - 1;
  while (i >= 0 && d.digits[i] == '9') d.digits[i--] = '0';
  if (i >= 0) {
    ++d.digits[i];
  } else {
    d.digits[0] = '1';
    ++d.point;
  }
  while (d.length > 1 && d.digits[d.length - 1] == '0') --d.length;
}

}  // namespace

std::string rust_display_float(double value) {
  std::string out;
  if (std::signbit(value)) out.push_back('-');
  const double magnitude = std::fabs(value);
  if (magnitude == 0) {
    out.push_back('0');
    return out;
  }
  if (std::isnan(magnitude)) return "NaN";
  if (std::isinf(magnitude)) return out + "inf";
  ShortestDigits d = shortest_digits(magnitude);
  round_ties_up(d, magnitude);
  if (d.point <= 0) {
    out.append("0.");
    out.append(static_cast<std::size_t>(-d.point), '0');
    out.append(d.digits, d.length);
  } else if (d.point < d.length) {
    out.append(d.digits, d.point);
    out.push_back('.');
    out.append(d.digits + d.point, d.length - d.point);
  } else {
    out.append(d.digits, d.length);
    out.append(static_cast<std::size_t>(d.point - d.length), '0');
  }
  return out;
}

}  // namespace tov::json
