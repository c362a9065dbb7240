# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Cross-compiling for 64-bit Windows with Debian's mingw-w64 toolchain:
#
#   cmake -S . -B build-windows --toolchain cmake/mingw-w64-x86_64.cmake
#
# The posix-thread variant of the compilers (g++-mingw-w64-x86-64-posix,
# gcc-mingw-w64-x86-64-posix): the win32-thread variant has no std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PLINTH_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PLINTH_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PLINTH_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PLINTH_MINGW_TRIPLET}-windres)

# Libraries and headers come from the toolchain's own root only; the build
# machine's programs (pkg-config, cmake) stay usable.
set(CMAKE_FIND_ROOT_PATH /usr/${PLINTH_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs carry the C and C++ runtimes and winpthread inside, so that they run
# without the toolchain's DLLs beside them (under wine too).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc")
