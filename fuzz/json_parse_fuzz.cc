// libFuzzer entry for the property in json_parse_property.h.
#include <cstddef>
#include <cstdint>

#include "json_parse_property.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tov::fuzzing::run_check(tov::fuzzing::check_json_parse, data, size);
}
