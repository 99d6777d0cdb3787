// The JSON value type by name only, for headers that pass values along without looking
// inside: the whole library costs every file that includes it seconds of compile time.
#pragma once

#include <nlohmann/json_fwd.hpp>

namespace tov::json {

using Value = nlohmann::json;

}  // namespace tov::json
