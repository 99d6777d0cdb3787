#include "json/record_reader.h"

#include <limits>
#include <utility>

#include "json/deserializer.h"
#include "json/float_text.h"

namespace tov::json {

namespace {

class RecordReader {
 public:
  explicit RecordReader(std::string_view text) : in_(text) {}

  Deserializer& input() { return in_; }

  // A record where one is due, in either form; nesting counted.
  Step<> read_struct(const RecordSchema& schema, std::vector<FieldValue>& out) {
    const int c = in_.skip_whitespace();
    if (c < 0) return std::unexpected(in_.fail_peek(ErrorCode::kEofWhileParsingValue));
    if (c != '[' && c != '{') return std::unexpected(in_.invalid_type(struct_name(schema)));
    if (auto r = in_.enter_nesting(); !r) return r;
    in_.eat();
    out.assign(schema.fields.size(), FieldValue{});
    auto visited = c == '[' ? visit_seq(schema, out) : visit_map(schema, out);
    in_.leave_nesting();
    // The closing bracket is looked for even after a failure; a failure without a
    // place is then placed where that left the reading.
    const auto closing = c == '[' ? in_.end_seq() : in_.end_map();
    if (!visited) {
      in_.fix_position();
      return visited;
    }
    if (closing) return std::unexpected(in_.fail_peek(*closing));
    return {};
  }

 private:
  static std::string struct_name(const RecordSchema& schema) {
    return "struct " + std::string(schema.name);
  }

  Step<> visit_seq(const RecordSchema& schema, std::vector<FieldValue>& out) {
    bool first = true;
    for (std::size_t i = 0; i < schema.fields.size(); ++i) {
      auto more = in_.next_element(first);
      if (!more) return std::unexpected(more.error());
      if (*more) {
        if (auto r = read_field(schema.fields[i], out[i]); !r) return r;
        continue;
      }
      if (schema.fields[i].optional) continue;
      const std::size_t n = schema.fields.size();
      return std::unexpected(in_.fail_custom(
          "invalid length " + std::to_string(i) + ", expected " + struct_name(schema) + " with " +
          std::to_string(n) + (n == 1 ? " element" : " elements")));
    }
    return {};
  }

  Step<> visit_map(const RecordSchema& schema, std::vector<FieldValue>& out) {
    bool first = true;
    std::vector<bool> seen(schema.fields.size(), false);
    for (;;) {
      auto more = in_.next_key(first);
      if (!more) return std::unexpected(more.error());
      if (!*more) break;
      in_.eat();
      key_.clear();
      if (auto r = in_.parse_str(key_); !r) return r;
      std::size_t index = 0;
      while (index < schema.fields.size() && schema.fields[index].key != key_) ++index;
      if (index == schema.fields.size()) {
        if (auto r = in_.parse_object_colon(); !r) return r;
        if (auto r = in_.ignore_value(); !r) return r;
        continue;
      }
      const FieldSchema& field = schema.fields[index];
      if (seen[index]) {
        return std::unexpected(in_.fail_custom("duplicate field `" + std::string(field.key) + "`"));
      }
      if (auto r = in_.parse_object_colon(); !r) return r;
      if (auto r = read_field(field, out[index]); !r) return r;
      seen[index] = true;
    }
    for (std::size_t i = 0; i < schema.fields.size(); ++i) {
      if (!seen[i] && !schema.fields[i].optional) {
        return std::unexpected(
            in_.fail_custom("missing field `" + std::string(schema.fields[i].key) + "`"));
      }
    }
    return {};
  }

  Step<> read_field(const FieldSchema& field, FieldValue& out) {
    if (field.optional) {
      if (in_.skip_whitespace() == 'n') {
        in_.eat();
        return in_.parse_ident("ull");
      }
    }
    out.present = true;
    switch (field.kind) {
      case FieldKind::kString: return read_string(out.text);
      case FieldKind::kBool: return read_bool(out.flag);
      case FieldKind::kU32: return read_u32(out.number);
      case FieldKind::kValue: return in_.parse_value(out.value);
      case FieldKind::kRecord: return read_struct(*field.record, out.record);
    }
    return {};
  }

  Step<> read_string(std::string& out) {
    const int c = in_.skip_whitespace();
    if (c < 0) return std::unexpected(in_.fail_peek(ErrorCode::kEofWhileParsingValue));
    if (c != '"') return std::unexpected(in_.invalid_type("a string"));
    in_.eat();
    return in_.parse_str(out);
  }

  Step<> read_bool(bool& out) {
    const int c = in_.skip_whitespace();
    if (c < 0) return std::unexpected(in_.fail_peek(ErrorCode::kEofWhileParsingValue));
    if (c != 't' && c != 'f') return std::unexpected(in_.invalid_type("a boolean"));
    in_.eat();
    out = c == 't';
    return in_.parse_ident(out ? "rue" : "alse");
  }

  Step<> read_u32(std::uint32_t& out) {
    const int c = in_.skip_whitespace();
    if (c < 0) return std::unexpected(in_.fail_peek(ErrorCode::kEofWhileParsingValue));
    const bool negative = c == '-';
    if (!negative && (c < '0' || c > '9')) return std::unexpected(in_.invalid_type("u32"));
    if (negative) in_.eat();
    auto n = in_.parse_integer(!negative);
    if (!n) return std::unexpected(n.error());
    constexpr auto kMax = std::numeric_limits<std::uint32_t>::max();
    switch (n->kind) {
      case ParsedNumber::Kind::kUnsigned:
        if (n->u <= kMax) {
          out = static_cast<std::uint32_t>(n->u);
          return {};
        }
        return out_of_u32("integer `" + std::to_string(n->u) + "`");
      case ParsedNumber::Kind::kSigned:  // always negative
        return out_of_u32("integer `" + std::to_string(n->i) + "`");
      case ParsedNumber::Kind::kFloat: break;
    }
    in_.fail_custom("invalid type: floating point `" + rust_display_float(n->f) + "`, expected u32");
    in_.fix_position();
    return std::unexpected(Stop{});
  }

  Step<> out_of_u32(const std::string& found) {
    in_.fail_custom("invalid value: " + found + ", expected u32");
    in_.fix_position();
    return std::unexpected(Stop{});
  }

  Deserializer in_;
  std::string key_;
};

}  // namespace

std::expected<std::vector<FieldValue>, ReadError> read_record(std::string_view text,
                                                              const RecordSchema& schema) {
  RecordReader reader(text);
  std::vector<FieldValue> fields;
  if (!reader.read_struct(schema, fields) || !reader.input().end()) {
    return std::unexpected(reader.input().error());
  }
  return fields;
}

}  // namespace tov::json
