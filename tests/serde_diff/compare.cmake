# Runs the differential test: generates the cases, lets serde_json and our implementation
# print what they make of each, and compares the two outputs case by case.
file(MAKE_DIRECTORY "${WORK}")

# Rust's Debug escapes a character in a str by the Unicode tables of its standard library,
# and ours follow one Unicode version: a peer of another version differs in the quoted
# strings of "invalid type" messages, which says nothing about our reader.
foreach(side IN ITEMS PEER OURS)
  execute_process(COMMAND "${${side}}" unicode-version OUTPUT_VARIABLE ${side}_unicode
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status TIMEOUT 60)
  if(status)
    message(FATAL_ERROR "${${side}} unicode-version failed: ${status}")
  endif()
endforeach()
if(NOT PEER_unicode STREQUAL OURS_unicode)
  # The leading space keeps CMake from wrapping the line.
  message(FATAL_ERROR " serde_diff compared nothing: the Rust that built the serde_json peer escapes strings "
    "by Unicode ${PEER_unicode}, ours by Unicode ${OURS_unicode}; install a Rust whose "
    "char::UNICODE_VERSION is ${OURS_unicode} (on Debian 12: apt-get install rustc-web cargo-web, "
    "from its security suite) and build again.")
endif()

set(generated "${WORK}/generated.cases")

execute_process(COMMAND "${OURS}" generate "${generated}" RESULT_VARIABLE status)
if(status)
  message(FATAL_ERROR "generating the cases failed: ${status}")
endif()

foreach(side IN ITEMS PEER OURS)
  execute_process(COMMAND "${${side}}" run "${CORPUS}" "${generated}"
                  OUTPUT_FILE "${WORK}/${side}.out" RESULT_VARIABLE status TIMEOUT 240)
  if(status)
    message(FATAL_ERROR "${${side}} run failed: ${status}")
  endif()
endforeach()

# Each case prints a "case N FILE:LINE" line first, so the first differences name their cases.
execute_process(COMMAND diff -U4 "${WORK}/PEER.out" "${WORK}/OURS.out" COMMAND head -n 120 RESULT_VARIABLE status
                OUTPUT_VARIABLE differences)
file(SIZE "${WORK}/OURS.out" size)
if(NOT differences STREQUAL "" OR size EQUAL 0)
  message(FATAL_ERROR "our JSON reading or writing differs from serde_json (- serde_json, + ours):\n${differences}")
endif()
message(STATUS "ours and serde_json alike on every case, both escaping strings by Unicode ${OURS_unicode}")
