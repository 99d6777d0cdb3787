// One request line out, one answer line back.
#pragma once

#include <cstddef>

#include "cli_protocol/records.h"
#include "platform/platform.h"

namespace tov::protocol {

// The most an answer line may take, line feed included.
inline constexpr std::size_t kMaxFrameBytes = 8 * 1024 * 1024;

// Writes the request and one line feed on `handle`, then closes it, on every path.
platform::IoResult<void> write_request(platform::Socket handle, const Request& request);

// Reads one answer line from `socket` and closes it, on every path.
platform::IoResult<Response> read_response(platform::Socket socket);

}  // namespace tov::protocol
