// libFuzzer entry for the property in records_property.h.
#include <cstddef>
#include <cstdint>

#include "records_property.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tov::fuzzing::run_check(tov::fuzzing::check_records, data, size);
}
