// The record reader on arbitrary bytes: the control file's Handshake and the app's Response.
// It never crashes, every error names its position, a record it accepts is JSON the value
// reader accepts too, and an accepted answer converts, prints and reads back.
#pragma once

#include "cli_protocol/records.h"
#include "json/json.h"
#include "property.h"
#include "text/utf8.h"

namespace tov::fuzzing {

// A record is JSON the value reader takes too, but for what the library we follow does not
// look into when it skips a value under a key that names no field: its escapes are not
// decoded, its numbers not converted and its nesting not counted.
inline bool reads_as_json(std::string_view text) {
  auto value = json::parse(text);
  if (value) return true;
  for (std::string_view skipped_only : {"lone leading surrogate in hex escape",
                                        "unexpected end of hex escape", "number out of range",
                                        "recursion limit exceeded"}) {
    if (value.error().message.starts_with(skipped_only)) return true;
  }
  return false;
}

inline void check_records(std::string_view text, Verdict& verdict) {
  const bool utf8 = text::is_valid_utf8(text);

  auto handshake = protocol::read_handshake(text);
  if (!handshake) {
    verdict.require(has_position_suffix(handshake.error()), "a handshake error names its position",
                    handshake.error().message);
  } else if (utf8) {
    verdict.require(reads_as_json(text), "a handshake read is JSON");
  }

  auto response = protocol::read_response_record(text);
  if (!response) {
    verdict.require(has_position_suffix(response.error()), "a response error names its position",
                    response.error().message);
    return;
  }
  if (!utf8) return;
  verdict.require(reads_as_json(text), "a response read is JSON");
  verdict.require(!response->data || !response->data->is_null(), "null data reads as absent");
  verdict.require(!response->error || !response->error->details ||
                      !response->error->details->is_null(),
                  "null details read as absent");

  json::Value value = protocol::response_to_value(*response);
  if (!verdict.require(value.is_object() && value["ok"].is_boolean(), "a converted answer has ok"))
    return;
  auto printed = json::to_compact(value);
  if (!verdict.require(printed.has_value(), "a converted answer prints")) return;
  auto again = protocol::read_response_record(*printed);
  if (!verdict.require(again.has_value(), "a printed answer reads back",
                       again ? "" : again.error().message))
    return;
  verdict.require(again->ok == response->ok && again->data.has_value() == response->data.has_value() &&
                      again->error.has_value() == response->error.has_value(),
                  "a printed answer reads back the same", *printed);
}

}  // namespace tov::fuzzing
