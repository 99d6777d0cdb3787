// The brand settings that the build fixes: product name, the app's data folder, and the
// file stems of this program and of the app.
#pragma once

#include <string>
#include <string_view>

namespace tov::protocol {

// Brand settings, trimmed at every use; a blank one gives way to its built-in default.
std::string brand_product_name();
std::string brand_app_id();
std::string brand_cli_stem();
std::string brand_app_stem();
// The rule behind the four: `value` trimmed, or `fallback` untrimmed when nothing is left.
std::string brand_setting(std::string_view value, std::string_view fallback);

std::string with_exe_suffix(std::string_view stem);
std::string program_file_name();

}  // namespace tov::protocol
