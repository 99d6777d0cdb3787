#include "text/utf16_stream.h"

#include <algorithm>

#include "text/utf8.h"

namespace tov::text {
namespace {

bool is_high(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::expected<void, std::string> Utf16ToUtf8Stream::put(std::u16string_view units) {
  // Text already handed out goes, so that the buffer holds at most one read's worth.
  text_.erase(0, taken_);
  taken_ = 0;
  at_end_ = units.empty();
  bool valid = !at_end_ || high_ == 0;
  for (const char16_t unit : units) {
    // A low half belongs right after a high half, and nothing else does.
    if (high_ != 0 ? !is_low(unit) : is_low(unit)) {
      valid = false;
      break;
    }
    if (high_ != 0) {
      append_utf8(text_, 0x10000 + ((char32_t{high_} - 0xD800) << 10) + (unit - 0xDC00));
      high_ = 0;
    } else if (is_high(unit)) {
      high_ = unit;
    } else {
      append_utf8(text_, unit);
    }
  }
  if (valid) return {};
  // Nothing of a read that is not text is handed on, not even the part before the fault.
  text_.clear();
  high_ = 0;
  return std::unexpected(std::string(kInvalid));
}

std::size_t Utf16ToUtf8Stream::take(std::span<char> out) {
  const std::size_t count = std::min(out.size(), text_.size() - taken_);
  std::copy_n(text_.data() + taken_, count, out.data());
  taken_ += count;
  if (count == 0) at_end_ = false;
  return count;
}

}  // namespace tov::text
