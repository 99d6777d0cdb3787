// Reading a whole text as one record with named fields, the way serde's derived
// Deserialize reads a struct from serde_json: the object form (unknown keys skipped,
// duplicate and missing fields refused) and the array form (fields in declaration
// order), with the library's messages and positions.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "json/json.h"

namespace tov::json {

enum class FieldKind {
  kString,   // a JSON string only
  kBool,     // true or false only
  kU32,      // an integer from 0 to 4294967295
  kValue,    // any JSON value
  kRecord,   // a nested record
};

struct RecordSchema;

struct FieldSchema {
  std::string_view key;
  FieldKind kind;
  // Optional fields read null as absent, and may be left off (also from the end of the
  // array form).
  bool optional = false;
  const RecordSchema* record = nullptr;  // for kRecord
};

struct RecordSchema {
  std::string_view name;  // "Response": messages say "struct Response"
  std::span<const FieldSchema> fields;
};

// One field as read; only the member of the field's kind is used.
struct FieldValue {
  bool present = false;
  std::string text;
  bool flag = false;
  std::uint32_t number = 0;
  Value value;
  std::vector<FieldValue> record;
};

// The fields in the schema's order.
std::expected<std::vector<FieldValue>, ReadError> read_record(std::string_view text,
                                                              const RecordSchema& schema);

}  // namespace tov::json
