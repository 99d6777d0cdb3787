// The reading errors that JSON text can raise, with their fixed messages, and the
// " at line L column C" suffix that every reported error carries.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "json/json.h"

namespace tov::json {

enum class ErrorCode {
  kEofWhileParsingList,
  kEofWhileParsingObject,
  kEofWhileParsingString,
  kEofWhileParsingValue,
  kExpectedColon,
  kExpectedListCommaOrEnd,
  kExpectedObjectCommaOrEnd,
  kExpectedSomeIdent,
  kExpectedSomeValue,
  kInvalidEscape,
  kInvalidNumber,
  kNumberOutOfRange,
  kInvalidUnicodeCodePoint,
  kControlCharacterWhileParsingString,
  kKeyMustBeAString,
  kLoneLeadingSurrogateInHexEscape,
  kTrailingComma,
  kTrailingCharacters,
  kUnexpectedEndOfHexEscape,
  kRecursionLimitExceeded,
};

std::string_view error_message(ErrorCode code);

// Line (from 1) and column of the byte before `index`: columns count bytes from the
// start of the line, so the first byte of a line is column 1, and an index just after
// a line feed is column 0 of the next line.
struct TextPosition {
  std::size_t line = 1;
  std::size_t column = 0;
};
TextPosition position_of_index(std::string_view text, std::size_t index);

// `message` followed by " at line L column C".
ReadError make_read_error(std::string_view message, TextPosition position);

}  // namespace tov::json
