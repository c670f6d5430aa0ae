# Helpers shared by the folder targets.

# vestro_sources(VAR DIR): every .cpp of DIR (not below it). Files named *_avx2.cpp
# are compiled for AVX2; they are only called after the processor says it has it.
function(vestro_sources var dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  foreach(f ${srcs})
    if(f MATCHES "_avx2\\.cpp$")
      set_source_files_properties(${f} PROPERTIES COMPILE_OPTIONS "-mavx2")
    endif()
  endforeach()
  set(${var} ${srcs} PARENT_SCOPE)
endfunction()

# vestro_test(NAME DIR LIBS... [LABELS labels...]): one GoogleTest binary from
# every .cpp of DIR. Each test becomes its own ctest entry, named
# "<folder>.<Suite>.<Test>" and labelled with the folder, so that ctest runs them
# in parallel and names the one that failed. Tests run without a display.
include(GoogleTest)
function(vestro_test name dir)
  cmake_parse_arguments(T "" "" "LABELS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${T_UNPARSED_ARGUMENTS} GTest::gtest_main GTest::gmock Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    VESTRO_DIST_DIR="${VESTRO_DIST}" VESTRO_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VESTRO_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/tests")
  string(REGEX REPLACE "^test_" "" folder ${name})
  # Listed when ctest starts, not after every link: a sanitizer build's
  # binaries start slowly.
  gtest_discover_tests(${name} TEST_PREFIX "${folder}." DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    TEST_LIST ${name}_TESTS PROPERTIES TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  # Labels are set by a script of our own that ctest reads after the list: a
  # list value does not survive the listing's own properties.
  set(labels ${folder} ${T_LABELS})
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(WRITE ${script} "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${labels}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

find_package(Threads REQUIRED)
