// libFuzzer entry for the property in cli_options_property.h.
#include <cstddef>
#include <cstdint>

#include "cli_options_property.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tov::fuzzing::run_check(tov::fuzzing::check_cli_options, data, size);
}
