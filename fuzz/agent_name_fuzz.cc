// libFuzzer entry for the property in agent_name_property.h.
#include <cstddef>
#include <cstdint>

#include "agent_name_property.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tov::fuzzing::run_check(tov::fuzzing::check_agent_name, data, size);
}
