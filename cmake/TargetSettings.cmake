# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# What every target of the project gets: call plinth_target_settings(<target>)
# for each. It sets the warning flags, runs clang-tidy when asked, and links
# plinth_instrumentation, an interface target that carries the flags of the
# sanitizer, fuzzing and coverage builds. Those flags are usage requirements
# of the project's own targets, not options of a directory that every target
# below it takes.
#
#   plinth_target_settings(<target> [UNINSTRUMENTED])
#
# UNINSTRUMENTED leaves the instrumentation out: a library preloaded into a
# program, which would come before the sanitizers' runtime.

# clang-tidy as Debian installs it: "clang-tidy" from the unversioned package,
# or "clang-tidy-<version>" alone.
if(PLINTH_CLANG_TIDY)
  set(names clang-tidy)
  foreach(version RANGE 20 11 -1)
    list(APPEND names clang-tidy-${version})
  endforeach()
  find_program(PLINTH_CLANG_TIDY_EXE NAMES ${names} REQUIRED)
endif()

add_library(plinth_instrumentation INTERFACE)

if(PLINTH_SANITIZE)
  if(MSVC)
    message(FATAL_ERROR "PLINTH_SANITIZE is supported with GCC and Clang only")
  endif()
  target_compile_options(plinth_instrumentation INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(plinth_instrumentation INTERFACE -fsanitize=address,undefined)
endif()

# libFuzzer: the project's code carries the fuzzer's coverage instrumentation
# and the sanitizers; the fuzz targets link the fuzzer itself (tests/fuzz).
if(PLINTH_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang" OR NOT CMAKE_C_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "PLINTH_FUZZ needs clang: configure with "
                        "-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ (or clang-<version>)")
  endif()
  target_compile_options(plinth_instrumentation INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)
  target_link_options(plinth_instrumentation INTERFACE -fsanitize=address,undefined)
endif()

# gcov's counters in every object of the project; scripts/coverage.sh reads
# them with gcovr. The optimisation is the build type's: coverage.sh builds
# Debug, whose objects are not optimised, so that the counts follow the lines.
if(PLINTH_COVERAGE)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    message(FATAL_ERROR "PLINTH_COVERAGE is supported with GCC only")
  endif()
  target_compile_options(plinth_instrumentation INTERFACE --coverage)
  target_link_options(plinth_instrumentation INTERFACE --coverage)
endif()

function(plinth_target_settings target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "UNINSTRUMENTED" "" "")
  if(PLINTH_CLANG_TIDY)
    set_target_properties(${target} PROPERTIES CXX_CLANG_TIDY ${PLINTH_CLANG_TIDY_EXE}
                                               C_CLANG_TIDY ${PLINTH_CLANG_TIDY_EXE})
  endif()
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${PLINTH_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
                           $<$<BOOL:${PLINTH_WERROR}>:-Werror>)
  endif()
  if(NOT arg_UNINSTRUMENTED)
    target_link_libraries(${target} PRIVATE plinth_instrumentation)
  endif()
endfunction()
