// libFuzzer entry for the property in loopback_address_property.h.
#include <cstddef>
#include <cstdint>

#include "loopback_address_property.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tov::fuzzing::run_check(tov::fuzzing::check_loopback_address, data, size);
}
