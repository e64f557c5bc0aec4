# Body of a test made by halvex_add_program_test: runs the program once, shows what
# it printed, and fails on a wrong exit status, a missing PASS or a present FAIL match.
execute_process(COMMAND ${emulator} ${program} ${arguments}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message("${output}${errors}")
if(NOT status STREQUAL expected_exit)
  message(FATAL_ERROR "exit status ${status}, expected ${expected_exit}")
endif()
if(NOT "${output}${errors}" MATCHES "${pass}")
  message(FATAL_ERROR "no output matches: ${pass}")
endif()
if(NOT fail STREQUAL "" AND "${output}${errors}" MATCHES "${fail}")
  message(FATAL_ERROR "output matches: ${fail}")
endif()
