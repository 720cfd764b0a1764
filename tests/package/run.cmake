# Builds and runs the consumer project one way (MODE: install, build-tree, subdirectory,
# fetchcontent or pkg-config) in a scratch directory.
file(REMOVE_RECURSE ${WORK_DIR})
set(configure ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G Ninja
    "-DCMAKE_C_FLAGS=${C_FLAGS}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}" "-DCMAKE_SHARED_LINKER_FLAGS=${LINKER_FLAGS}")
set(prefix ${WORK_DIR}/prefix)

if(MODE STREQUAL "install" OR MODE STREQUAL "pkg-config")
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                  --component Unspecified COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
endif()

if(MODE STREQUAL "pkg-config")
  # As a Makefile would: flags from pkg-config, the installed shared library at run time. The
  # installed tree is moved first: quarn.pc must find it where it is, not where it was put.
  set(moved ${WORK_DIR}/moved)
  file(RENAME ${prefix} ${moved})
  file(GLOB pc_dirs ${moved}/lib*/pkgconfig ${moved}/lib/*/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "${pc_dirs}")
  execute_process(COMMAND pkg-config --variable=includedir quarn
                  OUTPUT_VARIABLE includedir OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  if(NOT EXISTS ${includedir}/quarn/quarn_c.h)
    message(FATAL_ERROR "quarn.pc gives the include directory ${includedir}, not the moved one")
  endif()
  execute_process(COMMAND pkg-config --cflags --libs quarn
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  separate_arguments(c_flags UNIX_COMMAND "${C_FLAGS}")
  separate_arguments(linker_flags UNIX_COMMAND "${LINKER_FLAGS}")
  file(MAKE_DIRECTORY ${WORK_DIR}/build)
  execute_process(COMMAND cc -std=c11 ${c_flags} ${SOURCE_DIR}/consumer.c ${flags}
                  ${linker_flags} -o ${WORK_DIR}/build/consumer_c COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE ";" ":" library_path "${pc_dirs}")
  string(REPLACE "/pkgconfig" "" library_path "${library_path}")
  set(ENV{LD_LIBRARY_PATH} "${library_path}")
  execute_process(COMMAND ${WORK_DIR}/build/consumer_c COMMAND_ERROR_IS_FATAL ANY)
  return()
endif()

if(MODE STREQUAL "install")
  list(APPEND configure -D QUARN_USE=package -D CMAKE_PREFIX_PATH=${prefix})
elseif(MODE STREQUAL "build-tree")
  list(APPEND configure -D QUARN_USE=package -D Quarn_DIR=${BUILD_DIR})
else()
  list(APPEND configure -D QUARN_USE=${MODE} -D QUARN_SOURCE_DIR=${QUARN_SOURCE_DIR})
endif()
execute_process(COMMAND ${configure} COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build
                COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
execute_process(COMMAND ${WORK_DIR}/build/consumer COMMAND_ERROR_IS_FATAL ANY)
if(EXISTS ${WORK_DIR}/build/consumer_c)
  execute_process(COMMAND ${WORK_DIR}/build/consumer_c COMMAND_ERROR_IS_FATAL ANY)
endif()
