# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Warning flags for the project's own targets; call plinth_warnings(<target>).
# clang-tidy as Debian installs it: "clang-tidy" from the unversioned package,
# or "clang-tidy-<version>" alone.
if(PLINTH_CLANG_TIDY)
  set(names clang-tidy)
  foreach(version RANGE 20 11 -1)
    list(APPEND names clang-tidy-${version})
  endforeach()
  find_program(PLINTH_CLANG_TIDY_EXE NAMES ${names} REQUIRED)
endif()

function(plinth_warnings target)
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
endfunction()

if(PLINTH_SANITIZE)
  if(MSVC)
    message(FATAL_ERROR "PLINTH_SANITIZE is supported with GCC and Clang only")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# libFuzzer: the project's code carries the fuzzer's coverage instrumentation
# and the sanitizers; the fuzz targets link the fuzzer itself (tests/fuzz).
if(PLINTH_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang" OR NOT CMAKE_C_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "PLINTH_FUZZ needs clang: configure with "
                        "-DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                      -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# gcov's counters in every object; scripts/coverage.sh reads them with gcovr.
if(PLINTH_COVERAGE)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    message(FATAL_ERROR "PLINTH_COVERAGE is supported with GCC only")
  endif()
  add_compile_options(--coverage -O0)
  add_link_options(--coverage)
endif()
