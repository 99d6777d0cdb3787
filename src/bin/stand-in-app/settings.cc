#include "bin/stand-in-app/settings.h"

#include <charconv>

#include "bin/stand-in-app/knobs.h"
#include "platform/platform.h"

namespace tov::standin {

namespace {

std::optional<std::string> non_empty(const char* name) {
  auto value = platform::env_path(name);
  if (!value || value->empty()) return std::nullopt;
  return value;
}

template <class T>
std::optional<T> number(const char* name) {
  auto text = non_empty(name);
  if (!text) return std::nullopt;
  T value{};
  const char* end = text->data() + text->size();
  auto [ptr, ec] = std::from_chars(text->data(), end, value);
  if (ec != std::errc{} || ptr != end) return std::nullopt;
  return value;
}

std::optional<std::chrono::milliseconds> millis(const char* name) {
  auto value = number<std::uint32_t>(name);
  if (!value) return std::nullopt;
  return std::chrono::milliseconds(*value);
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Turns \n, \r, \t, \\ and \xHH into their bytes; any other backslash stays as it is.
std::string unescape_bytes(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\\' || i + 1 == text.size()) {
      out += c;
      continue;
    }
    const char next = text[i + 1];
    if (next == 'n' || next == 'r' || next == 't' || next == '\\') {
      out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : '\\';
      ++i;
    } else if (next == 'x' && i + 3 < text.size() && hex_digit(text[i + 2]) >= 0 &&
               hex_digit(text[i + 3]) >= 0) {
      out += static_cast<char>(hex_digit(text[i + 2]) * 16 + hex_digit(text[i + 3]));
      i += 3;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

Settings read_settings() {
  Settings s;
  if (auto v = millis(kPublishDelayMs)) s.publish_delay = *v;
  s.publish = !non_empty(kNoPublish);
  if (auto v = number<std::uint32_t>(kVersion)) s.version = *v;
  if (auto v = millis(kAnswerDelayMs)) s.answer_delay = *v;
  s.close_without_answer = non_empty(kCloseWithoutAnswer).has_value();
  if (auto v = non_empty(kRawAnswer)) s.raw_answer = unescape_bytes(*v);
  s.record_path = non_empty(kRecord);
  if (auto v = millis(kIdleMs)) s.idle_timeout = *v;
  s.refuse = non_empty(kRefuse).has_value();
  s.refuse_marker = non_empty(kRefuseOnce);
  s.pid_dir = non_empty(kPidDir);
  return s;
}

}  // namespace tov::standin
