#include "text/utf16_stream.h"

#include <algorithm>

#include "text/utf8.h"

namespace tov::text {

std::expected<void, std::string> Utf16ToUtf8Stream::put(std::u16string_view units) {
  // Text already handed out goes, so that the buffer holds at most one read's worth.
  text_.erase(0, taken_);
  taken_ = 0;
  at_end_ = units.empty();
  bool valid = !at_end_ || high_ == 0;
  for (const char16_t unit : units) {
    // A low half belongs right after a high half, and nothing else does.
    if (high_ != 0 ? !is_low_surrogate(unit) : is_low_surrogate(unit)) {
      valid = false;
      break;
    }
    if (high_ != 0) {
      append_utf8(text_, from_surrogates(high_, unit));
      high_ = 0;
    } else if (is_high_surrogate(unit)) {
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
