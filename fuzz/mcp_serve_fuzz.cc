// libFuzzer entry for the property in mcp_serve_property.h.
#include <cstddef>
#include <cstdint>

#include "cli_protocol/app_launch.h"
#include "cli_protocol/control_file.h"
#include "mcp_serve_property.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tov::fuzzing::run_check(tov::fuzzing::check_mcp_serve, data, size);
}

// The target must reach no app: APPDATA names an empty folder, no app lies beside us.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  auto path = tov::protocol::control_file_path();
  if (!path || tov::platform::metadata(*path) || tov::protocol::app_executable_path()) {
    std::fprintf(stderr, "mcp_serve_fuzz: set APPDATA to an empty folder, and keep the app away "
                         "from this binary: no app may be reachable\n");
    std::exit(2);
  }
  return 0;
}
