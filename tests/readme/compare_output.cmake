# Runs COMMAND (a list: the program, then its arguments) and fails unless its standard output
# is exactly the contents of EXPECTED.
execute_process(COMMAND ${COMMAND} OUTPUT_VARIABLE output RESULT_VARIABLE status)
file(READ ${EXPECTED} expected)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the example exited with ${status}")
endif()
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "the example printed\n${output}\ninstead of\n${expected}")
endif()
