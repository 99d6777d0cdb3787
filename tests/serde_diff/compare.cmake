# Runs the differential test: generates the cases, lets serde_json and our implementation
# print what they make of each, and compares the two outputs case by case.
file(MAKE_DIRECTORY "${WORK}")
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
