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
  # sqlcipher.pc carries the version of the SQLite that SQLCipher is built on,
  # not SQLCipher's own: SQLCipher 4.6.1 is SQLite 3.46.1. 4.6.0 (SQLite
  # 3.45.3) mishandles log settings made before the library's initialisation,
  # and SQLCipher 3 writes databases of another format (key derivation, HMAC,
  # page size).
  set(PLINTH_SQLITE_OF_SQLCIPHER_MIN 3.46.1)
  if(SQLCIPHER_VERSION VERSION_LESS PLINTH_SQLITE_OF_SQLCIPHER_MIN)
    message(FATAL_ERROR
      "SQLCipher 4.6.1 or later is needed. The SQLCipher found (sqlcipher.pc, prefix "
      "${SQLCIPHER_PREFIX}) is built on SQLite ${SQLCIPHER_VERSION}: it is older than "
      "SQLCipher 4.6.1, which is built on SQLite ${PLINTH_SQLITE_OF_SQLCIPHER_MIN}.\n"
      "On Debian 13 (trixie): apt-get install libsqlcipher-dev.\n"
      "On Debian 12 (bookworm) it comes from bookworm-backports: ./scripts/install-deps.sh adds "
      "that suite to apt's sources and installs it, or by hand, with bookworm-backports in "
      "apt's sources: apt-get install -t bookworm-backports libsqlcipher-dev")
  endif()
endif()

# OpenSSL's libcrypto, which SQLCipher itself uses on Debian: Plinth derives
# each file's key with its PBKDF2, as SQLCipher would, and picks a new file's
# salt with its random generator.
find_package(OpenSSL QUIET COMPONENTS Crypto)
plinth_require(OpenSSL_FOUND "OpenSSL (libcrypto)" "libssl-dev")

# On Linux Boost.Filesystem and pugixml are linked statically (Debian ships
# both archives): every plug-in of an installation starts Plinth once, and each
# shared object costs its start-up time to map and relocate.
if(NOT WIN32)
  set(Boost_USE_STATIC_LIBS ON)
endif()
# Boost's own CMake package (BoostConfig.cmake, shipped since Boost 1.70 and
# by vcpkg), not CMake's FindBoost module, which CMake 3.30 and later removes
# (policy CMP0167) and which warns on the Boost 1.83 of Debian 13. The package
# honours Boost_USE_STATIC_LIBS too.
if(POLICY CMP0167)
  cmake_policy(SET CMP0167 NEW)
endif()
find_package(Boost 1.74 QUIET CONFIG COMPONENTS filesystem system)
plinth_require(Boost_FOUND "Boost.Filesystem and Boost.System"
               "libboost-filesystem-dev libboost-system-dev")

find_package(log4cxx QUIET CONFIG)
plinth_require(log4cxx_FOUND "Apache log4cxx" "liblog4cxx-dev")

find_package(pugixml QUIET CONFIG)
plinth_require(pugixml_FOUND "pugixml" "libpugixml-dev")
if(NOT WIN32 AND TARGET pugixml::static)
  set(PLINTH_PUGIXML pugixml::static)
endif()

# expat checks that a configuration file is well-formed XML before pugixml's
# lenient parser builds its tree. On Linux it is the shared library that
# log4cxx loads already.
find_package(EXPAT QUIET)
plinth_require(EXPAT_FOUND "expat" "libexpat1-dev")

# The POSIX test suites; a Windows build's tests need neither.
if(BUILD_TESTING AND NOT WIN32)
  find_package(GTest QUIET)
  plinth_require(GTest_FOUND "GoogleTest" "libgtest-dev")
  # The end-to-end tests parse the log written with the JSON layout.
  find_package(nlohmann_json 3 QUIET CONFIG)
  plinth_require(nlohmann_json_FOUND "nlohmann/json" "nlohmann-json3-dev")
  # The check of the documentation's example log lines.
  find_package(Python3 QUIET COMPONENTS Interpreter)
  plinth_require(Python3_Interpreter_FOUND "Python 3" "python3")
endif()
