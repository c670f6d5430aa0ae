# cmake -DKODEX_SOURCE=kodex/ -DKODEX_BINARY=DIR [-DKODEX_GENERATOR=Ninja] -P BuildAlone.cmake
# Configures and builds the codec library as a project of its own.
if(NOT KODEX_GENERATOR)
  set(KODEX_GENERATOR Ninja)
endif()
set(launcher "")
find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(launcher -DCMAKE_C_COMPILER_LAUNCHER=${CCACHE_PROGRAM} -DCMAKE_CXX_COMPILER_LAUNCHER=${CCACHE_PROGRAM})
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${KODEX_SOURCE} -B ${KODEX_BINARY} -G ${KODEX_GENERATOR}
          -DCMAKE_BUILD_TYPE=RelWithDebInfo ${launcher}
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${KODEX_BINARY} --target kodex --parallel 4
                COMMAND_ERROR_IS_FATAL ANY)
