// UTF-16 that arrives in pieces of the sender's size, handed on as UTF-8 in pieces of the
// reader's size; and the cut points for a writer of UTF-16 that takes a bounded piece at a
// time. A Windows console speaks UTF-16 on both sides; the program speaks UTF-8.
#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <string>
#include <string_view>

namespace tov::text {

// The two halves of a surrogate pair, and the character that they stand for together.
constexpr bool is_high_surrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool is_low_surrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr char32_t from_surrogates(char32_t high, char32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// One reader's UTF-16 input turned into UTF-8. A read may end between the two halves of a
// surrogate pair, and its text may not fit what the reader asks for; both wait here.
class Utf16ToUtf8Stream {
 public:
  // The failure for UTF-16 that is not text: a surrogate without its other half.
  static constexpr std::string_view kInvalid = "stream did not contain valid UTF-16";

  // Converts the units of one read; an empty read is the end of the input.
  std::expected<void, std::string> put(std::u16string_view units);
  // True when take() has something to hand out: text, or the end of the input.
  bool ready() const { return taken_ < text_.size() || at_end_; }
  // Moves at most out.size() bytes of text into `out` and returns how many; 0 for the end
  // of the input, which is handed out once.
  std::size_t take(std::span<char> out);

 private:
  std::string text_;
  std::size_t taken_ = 0;
  // The first half of a pair whose second half has not been read yet; 0 for none.
  char16_t high_ = 0;
  bool at_end_ = false;
};

// How many of `count` UTF-16 units a writer that takes at most `limit` (2 or more) at a
// time takes next: all that fit, but one fewer when the piece would end between the two
// halves of a surrogate pair. Unit is any two-byte code unit type (char16_t, Windows' wchar_t).
template <class Unit>
std::size_t utf16_piece_length(const Unit* units, std::size_t count, std::size_t limit) {
  static_assert(sizeof(Unit) == 2);
  if (count <= limit) return count;
  return is_high_surrogate(static_cast<char16_t>(units[limit - 1])) ? limit - 1 : limit;
}

}  // namespace tov::text
