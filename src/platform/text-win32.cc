// Conversions between the system's UTF-16 and our UTF-8. Windows text may hold unpaired
// surrogates; the strict conversion refuses them, the lossy one writes U+FFFD instead.
#include <string>
#include <string_view>

#include "platform/native-win32.h"
#include "text/utf16_stream.h"
#include "text/utf8.h"

namespace tov::platform::win32 {
namespace {

// Decodes one character at `i`; none for an unpaired surrogate. Moves `i` past it either way.
std::optional<char32_t> next_char(std::wstring_view text, std::size_t& i) {
  const char32_t unit = text[i++];
  if (!text::is_high_surrogate(unit) && !text::is_low_surrogate(unit)) return unit;
  if (text::is_high_surrogate(unit) && i < text.size() && text::is_low_surrogate(text[i])) {
    return text::from_surrogates(unit, text[i++]);
  }
  return std::nullopt;
}

}  // namespace

std::wstring wide(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, out.data(), length);
  return out;
}

std::optional<std::string> narrow_strict(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = next_char(text, i);
    if (!c) return std::nullopt;
    text::append_utf8(out, *c);
  }
  return out;
}

std::string narrow_lossy(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) text::append_utf8(out, next_char(text, i).value_or(0xFFFD));
  return out;
}

std::string narrow_keeping_surrogates(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char32_t unit = text[i];  // an unpaired surrogate is this one unit
    text::append_utf8(out, next_char(text, i).value_or(unit));
  }
  return out;
}

}  // namespace tov::platform::win32
