# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# The dependencies as headers only (PLINTH_HEADERS_ONLY): every source compiles
# without the libraries. It serves the cross build for Windows on Debian, which
# has no Windows builds of SQLCipher, OpenSSL, Boost, log4cxx, pugixml and
# expat; their headers are the same on both platforms and test _WIN32
# themselves.
#
# Only the libraries' own header directories are visible, through a private
# include root in the build tree, so that no other header of the build machine
# (its C library, its system headers) can stand in for a Windows one that is
# missing. Static libraries need no link and are built; a program that needs
# the libraries is compiled but not linked (plinth_compile_only).

set(PLINTH_HOST_INCLUDE_DIR /usr/include CACHE PATH
    "Directory holding the dependencies' headers (Debian's -dev packages)")

# The POSIX test suites need the libraries; a Windows build's tests (the
# platform layer's own program) need none of them.
if(BUILD_TESTING AND NOT WIN32)
  message(FATAL_ERROR "PLINTH_HEADERS_ONLY links no test program: configure with -DBUILD_TESTING=OFF")
endif()

set(PLINTH_HEADER_ROOT ${CMAKE_BINARY_DIR}/dependency-headers)
file(REMOVE_RECURSE ${PLINTH_HEADER_ROOT})
file(MAKE_DIRECTORY ${PLINTH_HEADER_ROOT})

# Links each of the header directories or files `ARGN` of `package` into the
# private include root.
function(plinth_link_headers package)
  foreach(entry IN LISTS ARGN)
    set(source ${PLINTH_HOST_INCLUDE_DIR}/${entry})
    if(NOT EXISTS ${source})
      message(FATAL_ERROR "${source} not found. On Debian install it with: apt-get install ${package}")
    endif()
    file(CREATE_LINK ${source} ${PLINTH_HEADER_ROOT}/${entry} SYMBOLIC)
  endforeach()
endfunction()

plinth_link_headers(libsqlcipher-dev sqlcipher)
plinth_link_headers(libboost-dev boost)
plinth_link_headers(liblog4cxx-dev log4cxx)
plinth_link_headers(libpugixml-dev pugixml.hpp pugiconfig.hpp)
plinth_link_headers(libexpat1-dev expat.h expat_external.h)

# OpenSSL's headers lie in two directories: the common ones, and those its
# build configures below the machine's architecture (configuration.h,
# opensslconf.h). Both are linked into one openssl directory of the root.
function(plinth_link_openssl_headers)
  file(GLOB common ${PLINTH_HOST_INCLUDE_DIR}/openssl/*.h)
  file(GLOB configured LIST_DIRECTORIES true ${PLINTH_HOST_INCLUDE_DIR}/*/openssl)
  if(NOT common OR NOT configured)
    message(FATAL_ERROR "OpenSSL's headers not found below ${PLINTH_HOST_INCLUDE_DIR}. On Debian "
                        "install them with: apt-get install libssl-dev")
  endif()
  list(GET configured 0 configured)
  file(GLOB configured ${configured}/*.h)
  file(MAKE_DIRECTORY ${PLINTH_HEADER_ROOT}/openssl)
  foreach(header IN LISTS common configured)
    cmake_path(GET header FILENAME name)
    file(CREATE_LINK ${header} ${PLINTH_HEADER_ROOT}/openssl/${name} SYMBOLIC)
  endforeach()
endfunction()
plinth_link_openssl_headers()

# The targets the build links, with the include root (as system headers: their
# own warnings are not ours) and no library.
foreach(target PkgConfig::SQLCIPHER OpenSSL::Crypto Boost::filesystem Boost::system log4cxx
               pugixml::pugixml EXPAT::EXPAT)
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${PLINTH_HEADER_ROOT})
endforeach()

# log4cxx's header wraps declarations in MSVC's __pragma(warning(...)) when
# _WIN32 is defined; g++ has no such keyword. The pragmas only silence an MSVC
# warning, so they may expand to nothing. (A compile option: CMake drops
# function-style macros from compile definitions.)
set_property(TARGET log4cxx PROPERTY INTERFACE_COMPILE_OPTIONS "-D__pragma(x)=")

# Compiles the sources of the program `target` into an object library of
# their own, with the same settings, and leaves the program itself (which
# would need the libraries to link) out of the default build.
function(plinth_compile_only target)
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  get_target_property(libraries ${target} LINK_LIBRARIES)
  get_target_property(definitions ${target} COMPILE_DEFINITIONS)
  set(objects ${target}_objects)
  set(paths)
  foreach(source IN LISTS sources)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${source_dir})
    list(APPEND paths ${source})
  endforeach()
  add_library(${objects} OBJECT ${paths})
  target_link_libraries(${objects} PRIVATE ${libraries})
  if(definitions)
    target_compile_definitions(${objects} PRIVATE ${definitions})
  endif()
  plinth_target_settings(${objects})
  set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL ON)
endfunction()
