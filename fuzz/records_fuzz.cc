// The record reader on arbitrary bytes: the control file's Handshake and the app's Response.
// It never crashes, every error names its position, a record it accepts is JSON the value
// reader accepts too, and an accepted answer converts and prints.
#include <cstddef>
#include <cstdint>

#include "cli_protocol/records.h"
#include "cli_protocol/unicode_text.h"
#include "fuzz_check.h"
#include "json/json.h"

using tov::fuzzing::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = tov::fuzzing::as_text(data, size);
  bool utf8 = tov::text::is_valid_utf8(text);

  auto handshake = tov::protocol::read_handshake(text);
  if (!handshake) {
    require(tov::fuzzing::has_position_suffix(handshake.error()), "handshake error position",
            handshake.error().message);
  } else if (utf8) {
    require(tov::json::parse(text).has_value(), "a handshake read is JSON");
  }

  auto response = tov::protocol::read_response_record(text);
  if (!response) {
    require(tov::fuzzing::has_position_suffix(response.error()), "response error position",
            response.error().message);
    return 0;
  }
  if (!utf8) return 0;
  require(tov::json::parse(text).has_value(), "a response read is JSON");
  require(!response->data || !response->data->is_null(), "null data reads as absent");
  require(!response->error || !response->error->details || !response->error->details->is_null(),
          "null details read as absent");

  tov::json::Value value = tov::protocol::response_to_value(*response);
  require(value.is_object() && value["ok"].is_boolean(), "a converted answer has ok");
  auto printed = tov::json::to_compact(value);
  require(printed.has_value(), "a converted answer prints");
  auto again = tov::protocol::read_response_record(*printed);
  require(again.has_value(), "a printed answer reads back", again ? "" : again.error().message);
  require(again->ok == response->ok && again->error.has_value() == response->error.has_value(),
          "a printed answer reads back the same", *printed);
  return 0;
}
