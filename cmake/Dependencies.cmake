# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Every dependency comes from the system (Debian's packages). A missing one
# stops the configuration with the name of the package that provides it. A
# native Windows build takes them from vcpkg (vcpkg.json, CMakePresets.json).
function(plinth_require found what package)
  if(NOT ${found})
    if(WIN32)
      message(FATAL_ERROR "${what} not found. Install the dependencies of vcpkg.json with vcpkg "
                          "and configure with its toolchain (cmake --preset windows-msvc)")
    endif()
    message(FATAL_ERROR "${what} not found. On Debian install it with: apt-get install ${package}")
  endif()
endfunction()

find_package(Threads REQUIRED)

# The pugixml target the XML document links; see below.
set(PLINTH_PUGIXML pugixml::pugixml)

# A cross build for Windows on Debian finds no Windows builds of these
# libraries: it compiles against their headers only (cmake/DependencyHeaders.cmake).
option(PLINTH_HEADERS_ONLY
       "Compile against the dependencies' headers only and link nothing that needs them" OFF)
if(PLINTH_HEADERS_ONLY)
  include(${CMAKE_CURRENT_LIST_DIR}/DependencyHeaders.cmake)
  return()
endif()

if(WIN32)
  # vcpkg's SQLCipher is a CMake package; the build uses it under the name
  # that pkg-config gives it on Linux.
  find_package(sqlcipher QUIET CONFIG)
  plinth_require(sqlcipher_FOUND "SQLCipher" "")
  get_target_property(sqlcipher_includes sqlcipher::sqlcipher INTERFACE_INCLUDE_DIRECTORIES)
  add_library(PkgConfig::SQLCIPHER INTERFACE IMPORTED)
  set_target_properties(PkgConfig::SQLCIPHER PROPERTIES
    INTERFACE_LINK_LIBRARIES sqlcipher::sqlcipher
    INTERFACE_INCLUDE_DIRECTORIES "${sqlcipher_includes}")
else()
  find_package(PkgConfig QUIET)
  plinth_require(PKG_CONFIG_FOUND "pkg-config" "pkg-config")
  pkg_check_modules(SQLCIPHER QUIET IMPORTED_TARGET sqlcipher)
  plinth_require(SQLCIPHER_FOUND "SQLCipher (sqlcipher.pc)" "libsqlcipher-dev")
endif()

# On Linux Boost.Filesystem and pugixml are linked statically (Debian ships
# both archives): every plug-in of an installation starts Plinth once, and each
# shared object costs its start-up time to map and relocate.
if(NOT WIN32)
  set(Boost_USE_STATIC_LIBS ON)
endif()
find_package(Boost 1.74 QUIET COMPONENTS filesystem system)
plinth_require(Boost_FOUND "Boost.Filesystem and Boost.System"
               "libboost-filesystem-dev libboost-system-dev")

find_package(log4cxx QUIET CONFIG)
plinth_require(log4cxx_FOUND "Apache log4cxx" "liblog4cxx-dev")

find_package(pugixml QUIET CONFIG)
plinth_require(pugixml_FOUND "pugixml" "libpugixml-dev")
if(NOT WIN32 AND TARGET pugixml::static)
  set(PLINTH_PUGIXML pugixml::static)
endif()

if(BUILD_TESTING)
  find_package(GTest QUIET)
  plinth_require(GTest_FOUND "GoogleTest" "libgtest-dev")
endif()
