# The core library that the programs and tests link, and the fuzz targets link instrumented:
# its one dependency, its sources and the brand settings. Both the top-level project and
# fuzz/ include this file, so that neither keeps its own list.

# Brand settings, fixed when the program is built.
set(BRAND_PRODUCT_NAME "Quillboard" CACHE STRING "Product display name")
set(BRAND_APP_ID "com.vantix.office" CACHE STRING "Per-user data folder of the app")
set(BRAND_CLI_STEM "quillboard" CACHE STRING "File stem of this program")
set(BRAND_APP_STEM "quillboard-app" CACHE STRING "File stem of the desktop app")

find_package(nlohmann_json 3 QUIET)
if(NOT nlohmann_json_FOUND)
  # Without this check a native build configures and then stops at the first #include.
  if(NOT CMAKE_CROSSCOMPILING)
    message(FATAL_ERROR "nlohmann/json 3 not found: install nlohmann-json3-dev "
                        "(scripts/install-deps.sh does)")
  endif()
  # The cross build sees the header-only library through the host's include folder.
  if(NOT EXISTS /usr/include/nlohmann/json.hpp)
    message(FATAL_ERROR "/usr/include/nlohmann/json.hpp not found: install nlohmann-json3-dev "
                        "on the build machine (scripts/install-deps.sh does)")
  endif()
  add_library(nlohmann_json INTERFACE)
  add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)
  target_compile_options(nlohmann_json INTERFACE -idirafter /usr/include)
endif()

get_filename_component(TOV_REPO "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# tov_keep_platform_files(VAR): drops from the list VAR the files of the other platform:
# name-posix.cc and name_posix_test.cc, or their -win32 and _win32 counterparts.
function(tov_keep_platform_files var)
  if(WIN32)
    set(other posix)
  else()
    set(other win32)
  endif()
  set(files ${${var}})
  list(FILTER files EXCLUDE REGEX "[-_]${other}(_test)?\\.cc$")
  set(${var} ${files} PARENT_SCOPE)
endfunction()

# tov_add_core_library(NAME): everything but the two entry points, as a static library with
# the brand settings compiled in, for this platform (-posix.cc or -win32.cc files).
function(tov_add_core_library name)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    ${TOV_REPO}/src/text/*.cc
    ${TOV_REPO}/src/json/*.cc
    ${TOV_REPO}/src/platform/*.cc
    ${TOV_REPO}/src/cli_protocol/*.cc
    ${TOV_REPO}/src/mcp_server/*.cc
    ${TOV_REPO}/src/bin/tov-office-desktop/*.cc)
  list(FILTER sources EXCLUDE REGEX "_test\\.cc$")
  list(FILTER sources EXCLUDE REGEX "src/bin/tov-office-desktop/main\\.cc$")
  tov_keep_platform_files(sources)

  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${TOV_REPO}/src)
  target_link_libraries(${name} PUBLIC nlohmann_json::nlohmann_json)
  target_compile_definitions(${name} PRIVATE
    TOV_BRAND_PRODUCT_NAME="${BRAND_PRODUCT_NAME}"
    TOV_BRAND_APP_ID="${BRAND_APP_ID}"
    TOV_BRAND_CLI_STEM="${BRAND_CLI_STEM}"
    TOV_BRAND_APP_STEM="${BRAND_APP_STEM}")
  if(WIN32)
    target_link_libraries(${name} PUBLIC ws2_32 shell32)
  endif()
endfunction()
