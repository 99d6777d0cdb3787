// normalize_agent_name on any UTF-8 text: a short canonical id, never empty, and a fixed
// point (an id normalizes to itself).
#include <cstddef>
#include <cstdint>
#include <string>

#include "cli_protocol/client_identity.h"
#include "cli_protocol/unicode_text.h"
#include "fuzz_check.h"

using tov::fuzzing::require;

namespace {

bool is_id_char(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view name = tov::fuzzing::as_text(data, size);
  if (!tov::text::is_valid_utf8(name)) return 0;  // MCP client names arrive as JSON strings
  std::string id = tov::protocol::normalize_agent_name(name);
  require(!id.empty(), "never empty");
  for (char c : id) require(is_id_char(c), "lower-case ASCII letters, digits and hyphens", id);
  require(id.front() != '-' && id.back() != '-', "no hyphen at either end", id);
  require(id.find("--") == std::string::npos, "single hyphens", id);
  require(tov::protocol::normalize_agent_name(id) == id, "an id normalizes to itself", id);
  return 0;
}
