# Shared helpers for the project's targets.

# Warnings are errors in our own code.
function(velmora_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# velmora_library(<name> SOURCES ... [DEPS ...] [PKG ...])
# One library per folder; its public headers live in <folder>/include.
function(velmora_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  velmora_warnings(${name})
endfunction()

# velmora_test(<name> SOURCES ... DEPS ... [PROPERTIES ...])
# One GoogleTest executable per folder, registered with CTest. Every test
# process runs through cmake/isolated-test: its HOME, XDG_CONFIG_HOME,
# TMPDIR and XDG_RUNTIME_DIR are fresh folders under the build tree.
function(velmora_test name)
  if(NOT VELMORA_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PROPERTIES" ${ARGN})
  if(VELMORA_SANITIZE)
    list(APPEND ARG_SOURCES ${PROJECT_SOURCE_DIR}/cmake/lsan_suppressions.cpp)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  velmora_warnings(${name})
  set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR
    ${PROJECT_SOURCE_DIR}/cmake/isolated-test ${CMAKE_BINARY_DIR}/test-homes)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${ARG_PROPERTIES})
endfunction()

# VELMORA_FUZZ: a clang build of the libFuzzer targets (with VELMORA_SANITIZE,
# VELMORA_TESTS off); every library gets the fuzzer's coverage hooks.
option(VELMORA_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
if(VELMORA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_custom_target(velmora_fuzz)
endif()
