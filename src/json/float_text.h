// Doubles as text: the shortest decimal digits that read back as the same double, laid
// out as serde_json writes numbers (ryu's form) or as Rust's Display writes them.
#pragma once

#include <string>

namespace tov::json {

// ryu's form: "1.0", "1000000000000000.0", "1e16", "0.00001", "1e-6", "1.5e300", "-0.0".
// The value must be finite.
void append_float(std::string& out, double value);

// Rust's Display: never an exponent, no ".0": "1", "10000000000000000", "0.0000001", "-0".
std::string rust_display_float(double value);

}  // namespace tov::json
