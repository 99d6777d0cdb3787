// The generated part of the differential corpus: truncations and byte mutations of valid
// documents, deep nesting, number boundaries, escapes and surrogates, every Unicode
// character inside a string, random documents. The same list on every run and machine.
#pragma once

#include <string>
#include <vector>

namespace tov::serde_diff {

std::vector<std::string> generate_cases();

}  // namespace tov::serde_diff
