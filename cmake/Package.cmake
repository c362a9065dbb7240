# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# The Debian package "plinth", built by CPack from the system layout of
# cmake/Install.cmake (the components runtime and doc; never sample).
# scripts/build-package.sh does all of it:
#
#   cmake -S . -B build-package -DPLINTH_INSTALL_LAYOUT=system \
#         -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
#   cmake --build build-package
#   (cd build-package && cpack -G DEB)        # or: cmake --build build-package --target package
#
# The package holds /usr/lib/plinth/Plinth, the links /usr/bin/plinth and
# /usr/lib/plinth/META_INFO -> /etc/plinth, the defaults in /etc/plinth as
# conffiles, /var/log/plinth (0750, group adm: its postinst), /var/lib/plinth
# with crash/ for crash reports (0700; Plinth is built with that directory
# fixed), the man page, and in
# /usr/share/doc/plinth the copyright (machine-readable), changelog.Debian.gz,
# changelog.gz (CHANGELOG.md), the README and the sample product as examples.
# Its dependencies come from dpkg-shlibdeps, with libsqlcipher1 (>= 4.6.1)
# (cmake/PackageDepends.cmake).
#
# lintian (Debian 12's) reports no error on it. What remains, and why:
#   W non-standard-file-perm 0600 != 0644 [etc/plinth/SQLiteConf/SQLiteConfig.xml]
#       the file an installer puts the key into is private from the start
#   W non-standard-dir-perm 0750 != 0755 [var/log/plinth/]
#   W non-standard-dir-perm 0700 != 0755 [var/lib/plinth/crash/]
#       the log and the crash reports are private from the start, not only
#       once postinst has run
#   I binary-has-unneeded-section .comment (with --display-info)
#       CPack strips with plain `strip`, which keeps the compiler's note
#   I spare-manual-page [usr/share/man/man1/Plinth.1.gz] (with --display-info)
#       a link, so that `man Plinth` finds the page as `man plinth` does
# (scripts/build-package.sh runs lintian and prints what it reports.)
if(NOT PLINTH_INSTALL_LAYOUT STREQUAL "system")
  return()
endif()

set(PLINTH_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/packaging/debian)
set(PLINTH_DEBIAN_RELEASE 1)
set(PLINTH_DEBIAN_VERSION ${PROJECT_VERSION}-${PLINTH_DEBIAN_RELEASE})
set(PLINTH_PACKAGE_MAINTAINER "Plinth maintainers <plinth-maintainers@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

# The Debian changelog's newest entry must be the package's version.
file(STRINGS ${PLINTH_DEBIAN_DIR}/changelog entry LIMIT_COUNT 1)
if(NOT entry MATCHES "^plinth \\(${PLINTH_DEBIAN_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog starts with '${entry}', the package is "
                      "${PLINTH_DEBIAN_VERSION}: add the new version's entry")
endif()

# --- files of the package that are made at build time ------------------------

set(debian_build ${CMAKE_CURRENT_BINARY_DIR}/debian)
file(MAKE_DIRECTORY ${debian_build})
find_program(PLINTH_GZIP gzip REQUIRED)
# Debian's documentation files, compressed without a time stamp.
function(plinth_gzip_doc source name)
  add_custom_command(
    OUTPUT ${debian_build}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${debian_build}/${name}
    COMMAND ${PLINTH_GZIP} -9 --no-name --force ${debian_build}/${name}
    DEPENDS ${source}
    VERBATIM)
endfunction()
plinth_gzip_doc(${PLINTH_DEBIAN_DIR}/changelog changelog.Debian)
plinth_gzip_doc(${PROJECT_SOURCE_DIR}/CHANGELOG.md changelog)
add_custom_target(plinth_debian_doc ALL
                  DEPENDS ${debian_build}/changelog.Debian.gz ${debian_build}/changelog.gz)
install(FILES ${PLINTH_DEBIAN_DIR}/copyright ${debian_build}/changelog.Debian.gz
              ${debian_build}/changelog.gz
        DESTINATION ${PLINTH_DOC_DIR} COMPONENT runtime)

# Every file in /etc/plinth is a conffile: dpkg keeps an installer's edits.
set(conffiles "")
foreach(file plinth.log4cxx.properties InitSetup.xml SQLiteConf/SQLiteConfig.xml
             db_init/SQLite/create_public_data.sql)
  string(APPEND conffiles "${PLINTH_CONF_DIR}/${file}\n")
endforeach()
file(WRITE ${debian_build}/conffiles "${conffiles}")
foreach(script postinst postrm)
  configure_file(${PLINTH_DEBIAN_DIR}/${script}.in ${debian_build}/${script} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
endforeach()

# --- CPack -------------------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plinth)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Plinth authors")
set(CPACK_PACKAGE_CONTACT ${PLINTH_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "create and initialise the SQLite databases of a product's plug-ins")
# The summary is the synopsis; CPack indents this long description itself and
# turns the empty line into the paragraph mark.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Plinth is run by a plug-in based product's installer, once for each
plug-in. It creates the plug-in's database afresh through SQLCipher,
applies the encryption key and the PRAGMA settings, attaches the shared
databases, loads the product's SQLite extension libraries and runs the
plug-in's SQL scripts, logging every step through log4cxx.

The configuration lies in /etc/plinth; see plinth(1).")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# /etc/plinth and /var are absolute destinations: install into the staging
# directory through DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL runtime doc)

set(CPACK_DEBIAN_PACKAGE_NAME plinth)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${PLINTH_DEBIAN_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${PLINTH_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies come from dpkg-shlibdeps, run by cmake/PackageDepends.cmake
# when CPack makes the package, with libsqlcipher1 (>= 4.6.1) in place of the
# older version libsqlcipher1's symbols file gives.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
file(GENERATE OUTPUT ${debian_build}/cpack-project-config.cmake CONTENT
"set(PLINTH_PACKAGE_BINARIES \"$<TARGET_FILE:Plinth>\")
set(PLINTH_SHLIBDEPS_DIR \"${debian_build}/shlibdeps\")
include(\"${CMAKE_CURRENT_LIST_DIR}/PackageDepends.cmake\")
")
set(CPACK_PROJECT_CONFIG_FILE ${debian_build}/cpack-project-config.cmake)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${debian_build}/conffiles ${debian_build}/postinst
                                        ${debian_build}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
