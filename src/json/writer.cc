// Writing values as text, compact or pretty, as serde_json writes them. The walk keeps
// its own stack, so a value built in memory may nest as deep as memory allows.
#include <array>
#include <charconv>
#include <cmath>
#include <vector>

#include "json/byte_scan.h"
#include "json/float_text.h"
#include "json/json.h"
#include "text/utf8.h"

namespace tov::json {

namespace {

// What a byte becomes inside a string: 0 unchanged, 'u' as \u00XX, else \ and that letter.
constexpr std::array<char, 256> kEscape = [] {
  std::array<char, 256> table{};
  for (int i = 0; i < 0x20; ++i) table[i] = 'u';
  table['\b'] = 'b';
  table['\t'] = 't';
  table['\n'] = 'n';
  table['\f'] = 'f';
  table['\r'] = 'r';
  table['"'] = '"';
  table['\\'] = '\\';
  return table;
}();

constexpr char kHexDigits[] = "0123456789abcdef";

WriteError not_utf8() { return WriteError{"string is not valid UTF-8"}; }

template <class Integer>
void append_integer(std::string& out, Integer value) {
  char text[24];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  (void)ec;
  out.append(text, end);
}

std::expected<void, WriteError> append_scalar(std::string& out, const Value& value) {
  switch (value.type()) {
    case Value::value_t::null: out.append("null"); return {};
    case Value::value_t::boolean: out.append(value.get<bool>() ? "true" : "false"); return {};
    case Value::value_t::number_integer: append_integer(out, value.get<std::int64_t>()); return {};
    case Value::value_t::number_unsigned: append_integer(out, value.get<std::uint64_t>()); return {};
    case Value::value_t::number_float: {
      const double f = value.get<double>();
      if (!std::isfinite(f)) return std::unexpected(WriteError{"number is not finite"});
      append_float(out, f);
      return {};
    }
    case Value::value_t::string: return append_string(out, value.get_ref<const std::string&>());
    case Value::value_t::binary: return std::unexpected(WriteError{"binary data has no JSON text"});
    default: return std::unexpected(WriteError{"value has no JSON text"});
  }
}

// One open array or object: where its walk stands.
struct Frame {
  bool is_object = false;
  bool first = true;
  Value::array_t::const_iterator element;
  Value::array_t::const_iterator elements_end;
  Value::object_t::const_iterator member;
  Value::object_t::const_iterator members_end;
};

void newline_and_indent(std::string& out, std::size_t depth) {
  out.push_back('\n');
  out.append(depth * 2, ' ');
}

class TextWriter {
 public:
  TextWriter(std::string& out, bool pretty) : out_(out), pretty_(pretty) {}
  // Hands the text out whenever it reaches `piece_bytes`, and empties it.
  TextWriter(std::string& out, std::size_t piece_bytes,
             const std::function<void(std::string_view)>& flush)
      : out_(out), pretty_(false), piece_bytes_(piece_bytes), flush_(&flush) {}

  std::expected<void, WriteError> write(const Value& root) {
    if (auto r = open_or_write(root); !r) return r;
    while (!stack_.empty()) {
      Frame& top = stack_.back();
      const bool more = top.is_object ? top.member != top.members_end : top.element != top.elements_end;
      if (!more) {
        const char close = top.is_object ? '}' : ']';
        stack_.pop_back();
        if (pretty_) newline_and_indent(out_, stack_.size());
        out_.push_back(close);
        continue;
      }
      if (pretty_) {
        if (!top.first) out_.push_back(',');
        newline_and_indent(out_, stack_.size());
      } else if (!top.first) {
        out_.push_back(',');
      }
      top.first = false;
      const Value* child;
      if (top.is_object) {
        const auto& [key, value] = *top.member++;
        if (auto r = append_string(out_, key); !r) return r;
        out_.append(pretty_ ? ": " : ":");
        child = &value;
      } else {
        child = &*top.element++;
      }
      // `top` may move when the stack grows: nothing below touches it.
      if (auto r = open_or_write(*child); !r) return r;
      if (flush_ != nullptr && out_.size() >= piece_bytes_) {
        (*flush_)(out_);
        out_.clear();
      }
    }
    if (flush_ != nullptr) {
      (*flush_)(out_);
      out_.clear();
    }
    return {};
  }

 private:
  std::expected<void, WriteError> open_or_write(const Value& value) {
    if (value.is_array()) {
      const auto& elements = value.get_ref<const Value::array_t&>();
      if (elements.empty()) {
        out_.append("[]");
        return {};
      }
      out_.push_back('[');
      Frame frame;
      frame.element = elements.begin();
      frame.elements_end = elements.end();
      stack_.push_back(frame);
      return {};
    }
    if (value.is_object()) {
      const auto& members = value.get_ref<const Value::object_t&>();
      if (members.empty()) {
        out_.append("{}");
        return {};
      }
      out_.push_back('{');
      Frame frame;
      frame.is_object = true;
      frame.member = members.begin();
      frame.members_end = members.end();
      stack_.push_back(frame);
      return {};
    }
    return append_scalar(out_, value);
  }

  std::string& out_;
  bool pretty_;
  std::size_t piece_bytes_ = 0;
  const std::function<void(std::string_view)>* flush_ = nullptr;  // none: text kept whole
  std::vector<Frame> stack_;
};

}  // namespace

std::expected<void, WriteError> append_string(std::string& out, std::string_view text) {
  const std::size_t original_size = out.size();
  out.push_back('"');
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    // Plain ASCII passes eight bytes at a time.
    if (text.size() - i >= 8) {
      const std::uint64_t word = load_word(text.data() + i);
      if ((string_stops(word) | (word & kHighBits)) == 0) {
        i += 8;
        continue;
      }
    }
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x80) {
      const text::Utf8Step step = text::decode_utf8(text, i);
      if (!step.valid) {
        out.resize(original_size);
        return std::unexpected(not_utf8());
      }
      i += step.length;
      continue;
    }
    const char escape = kEscape[byte];
    if (escape == 0) {
      ++i;
      continue;
    }
    out.append(text.data() + start, i - start);
    out.push_back('\\');
    out.push_back(escape);
    if (escape == 'u') {
      out.append("00");
      out.push_back(kHexDigits[byte >> 4]);
      out.push_back(kHexDigits[byte & 0xF]);
    }
    start = ++i;
  }
  out.append(text.data() + start, text.size() - start);
  out.push_back('"');
  return {};
}

std::expected<void, WriteError> append_compact(std::string& out, const Value& value) {
  return TextWriter(out, false).write(value);
}

std::expected<void, WriteError> write_compact_in_pieces(
    const Value& value, std::size_t piece_bytes, const std::function<void(std::string_view)>& flush) {
  std::string out;
  out.reserve(piece_bytes);
  return TextWriter(out, piece_bytes, flush).write(value);
}

std::expected<std::string, WriteError> to_compact(const Value& value) {
  std::string out;
  if (auto r = append_compact(out, value); !r) return std::unexpected(r.error());
  return out;
}

std::expected<std::string, WriteError> to_pretty(const Value& value) {
  std::string out;
  if (auto r = TextWriter(out, true).write(value); !r) return std::unexpected(r.error());
  return out;
}

}  // namespace tov::json
