# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# The Depends field of the Debian package, computed when CPack makes the
# package (cmake/Package.cmake makes this file CPack's project configuration
# file, with PLINTH_PACKAGE_BINARIES and PLINTH_SHLIBDEPS_DIR set before it).
#
# dpkg-shlibdeps derives each library's dependency from the library's symbols
# file. libsqlcipher1's symbols file dates the functions Plinth calls back to
# old versions (the result is "libsqlcipher1 (>= 1.1.9)"), but Plinth needs
# SQLCipher 4.6.1 or later (cmake/Dependencies.cmake says why). A
# debian/shlibs.local file is dpkg-shlibdeps' own way to override a library's
# entry, so dpkg-shlibdeps runs here with one that names 4.6.1, and its
# answer becomes the package's Depends, each library named once.

set(shlibs_local "libsqlcipher 1 libsqlcipher1 (>= 4.6.1)\n")

find_program(PLINTH_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT PLINTH_DPKG_SHLIBDEPS)
  message(FATAL_ERROR "dpkg-shlibdeps not found. On Debian install it with: apt-get install dpkg-dev")
endif()

# dpkg-shlibdeps reads debian/control and debian/shlibs.local of its working
# directory; the control file may be empty.
file(REMOVE_RECURSE ${PLINTH_SHLIBDEPS_DIR})
file(MAKE_DIRECTORY ${PLINTH_SHLIBDEPS_DIR}/debian)
file(WRITE ${PLINTH_SHLIBDEPS_DIR}/debian/control "")
file(WRITE ${PLINTH_SHLIBDEPS_DIR}/debian/shlibs.local "${shlibs_local}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${PLINTH_DPKG_SHLIBDEPS} -O ${PLINTH_PACKAGE_BINARIES}
  WORKING_DIRECTORY ${PLINTH_SHLIBDEPS_DIR}
  OUTPUT_VARIABLE substvars
  ERROR_VARIABLE shlibdeps_errors
  RESULT_VARIABLE shlibdeps_result
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT shlibdeps_result EQUAL 0 OR NOT substvars MATCHES "^shlibs:Depends=(.+)$")
  message(FATAL_ERROR "dpkg-shlibdeps failed on ${PLINTH_PACKAGE_BINARIES} "
                      "(exit ${shlibdeps_result}): ${shlibdeps_errors}${substvars}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
if(NOT CPACK_DEBIAN_PACKAGE_DEPENDS MATCHES "(^|, )libsqlcipher1 \\(>= 4\\.6\\.1\\)(,|$)")
  message(FATAL_ERROR "the package's dependencies lack libsqlcipher1 (>= 4.6.1): "
                      "${CPACK_DEBIAN_PACKAGE_DEPENDS}")
endif()
message(STATUS "Depends: ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
