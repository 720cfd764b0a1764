# cmake --install puts the package where the interpreter finds it under the prefix: installs
# the python component of BUILD_DIR into WORK_DIR and imports it from there.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}
                --component python COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
set(ENV{PYTHONPATH} ${WORK_DIR}/${SITE_DIR})
execute_process(COMMAND ${PYTHON} -c [=[
import sys, quarn, quarn.dask
assert quarn.__file__.startswith(sys.argv[1]), quarn.__file__
assert quarn.search("b+", "abbc").span() == (1, 3)
]=] ${WORK_DIR} WORKING_DIRECTORY ${WORK_DIR} COMMAND_ERROR_IS_FATAL ANY)
