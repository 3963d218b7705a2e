# Script mode: runs one step of the demo and checks its exit status.
string(REPLACE "|" ";" arguments "${ARGUMENTS}")
execute_process(COMMAND ${EMULATOR} "${PROGRAM}" -C "${WORLD}" ${arguments}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT status STREQUAL EXPECTED)
    message(FATAL_ERROR "exit status ${status}, expected ${EXPECTED}")
endif()
