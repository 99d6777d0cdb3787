#include "json/error_code.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tov::json {

namespace {

constexpr std::array<std::pair<ErrorCode, std::string_view>, 20> kMessages{{
    {ErrorCode::kEofWhileParsingList, "EOF while parsing a list"},
    {ErrorCode::kEofWhileParsingObject, "EOF while parsing an object"},
    {ErrorCode::kEofWhileParsingString, "EOF while parsing a string"},
    {ErrorCode::kEofWhileParsingValue, "EOF while parsing a value"},
    {ErrorCode::kExpectedColon, "expected `:`"},
    {ErrorCode::kExpectedListCommaOrEnd, "expected `,` or `]`"},
    {ErrorCode::kExpectedObjectCommaOrEnd, "expected `,` or `}`"},
    {ErrorCode::kExpectedSomeIdent, "expected ident"},
    {ErrorCode::kExpectedSomeValue, "expected value"},
    {ErrorCode::kInvalidEscape, "invalid escape"},
    {ErrorCode::kInvalidNumber, "invalid number"},
    {ErrorCode::kNumberOutOfRange, "number out of range"},
    {ErrorCode::kInvalidUnicodeCodePoint, "invalid unicode code point"},
    {ErrorCode::kControlCharacterWhileParsingString,
     "control character (\\u0000-\\u001F) found while parsing a string"},
    {ErrorCode::kKeyMustBeAString, "key must be a string"},
    {ErrorCode::kLoneLeadingSurrogateInHexEscape, "lone leading surrogate in hex escape"},
    {ErrorCode::kTrailingComma, "trailing comma"},
    {ErrorCode::kTrailingCharacters, "trailing characters"},
    {ErrorCode::kUnexpectedEndOfHexEscape, "unexpected end of hex escape"},
    {ErrorCode::kRecursionLimitExceeded, "recursion limit exceeded"},
}};

}  // namespace

std::string_view error_message(ErrorCode code) {
  for (const auto& [c, text] : kMessages) {
    if (c == code) return text;
  }
  return "unknown error";
}

TextPosition position_of_index(std::string_view text, std::size_t index) {
  std::string_view before = text.substr(0, index);
  TextPosition position;
  position.line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
  std::size_t last_feed = before.rfind('\n');
  position.column = last_feed == std::string_view::npos ? before.size() : before.size() - last_feed - 1;
  return position;
}

ReadError make_read_error(std::string_view message, TextPosition position) {
  ReadError error;
  error.message.reserve(message.size() + 32);
  error.message.append(message);
  error.message.append(" at line ");
  error.message.append(std::to_string(position.line));
  error.message.append(" column ");
  error.message.append(std::to_string(position.column));
  error.line = position.line;
  error.column = position.column;
  return error;
}

}  // namespace tov::json
