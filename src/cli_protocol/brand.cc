#include "cli_protocol/brand.h"

#include "text/unicode_text.h"

namespace tov::protocol {

std::string brand_setting(std::string_view value, std::string_view fallback) {
  const std::string_view trimmed = text::trim(value);
  return std::string(trimmed.empty() ? fallback : trimmed);
}

// The build passes each setting as a compile definition; a blank one falls back here.
std::string brand_product_name() { return brand_setting(TOV_BRAND_PRODUCT_NAME, "Quillboard"); }
std::string brand_app_id() { return brand_setting(TOV_BRAND_APP_ID, "com.merudo.office-editor"); }
std::string brand_cli_stem() { return brand_setting(TOV_BRAND_CLI_STEM, "tov-office-desktop"); }
std::string brand_app_stem() { return brand_setting(TOV_BRAND_APP_STEM, "tov-office-desktop-app"); }

std::string with_exe_suffix(std::string_view stem) {
  if (stem.ends_with(".exe")) return std::string(stem);
  return std::string(stem) + ".exe";
}

std::string program_file_name() { return with_exe_suffix(brand_cli_stem()); }

}  // namespace tov::protocol
