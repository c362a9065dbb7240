# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# `cmake --install` in three components:
#
#   runtime  Plinth and a default log configuration
#   sample   the sample product's settings beside the executable (the SQLite
#            settings with the sample's key, create_public_data.sql) and its
#            extension libraries; never part of runtime
#   doc      the man page, the README, the changelog, and as examples the
#            sample product and a log configuration that writes JSON
#
# `cmake --install <build> --component runtime --strip` strips the installed
# binaries (CMake finds `strip` as CMAKE_STRIP).
#
# PLINTH_INSTALL_LAYOUT chooses where the runtime goes:
#
# bundle (default): the prefix is the executable's directory, as a product
# ships Plinth beside its own files:
#   <prefix>/Plinth
#   <prefix>/META_INFO/plinth.log4cxx.properties   logs to <prefix>/log/plinth.log
#   <prefix>/META_INFO/SQLiteConf/SQLiteConfig.xml, db_init/SQLite/...  (sample)
#   <prefix>/sqlite_ext/*.func.sqlite.so                                 (sample)
#   <prefix>/share/man/man1, <prefix>/share/doc/plinth                   (doc)
# Plinth loads the extension libraries from the product's system directory,
# which lies outside this tree: whoever stages the product copies them there
# from <prefix>/sqlite_ext, and writes META_INFO/InitSetup.xml, which names the
# data and system directories (scripts/run-sample.sh does both).
#
# system: the layout of a distribution package, with the prefix /usr:
#   /usr/lib/plinth/Plinth
#   /usr/bin/plinth -> ../lib/plinth/Plinth
#   /usr/lib/plinth/META_INFO -> /etc/plinth   Plinth reads META_INFO beside
#                                              its real path
#   /etc/plinth/          defaults an installer edits: InitSetup.xml,
#                         SQLiteConf/SQLiteConfig.xml (no key),
#                         db_init/SQLite/create_public_data.sql (creates
#                         nothing), plinth.log4cxx.properties
#   /var/log/plinth/      the log
#   /var/lib/plinth/      parent of the default data directory
#   /usr/share/man/man1, /usr/share/doc/plinth
# The sample component keeps the bundle's relative destinations; it is not
# part of the package (cmake/Package.cmake).
include(GNUInstallDirs)

set(PLINTH_INSTALL_LAYOUT bundle CACHE STRING
    "Install layout: bundle (the prefix is the executable's directory) or system (a package)")
set_property(CACHE PLINTH_INSTALL_LAYOUT PROPERTY STRINGS bundle system)
if(NOT PLINTH_INSTALL_LAYOUT MATCHES "^(bundle|system)$")
  message(FATAL_ERROR "PLINTH_INSTALL_LAYOUT must be bundle or system, not '${PLINTH_INSTALL_LAYOUT}'")
endif()

set(PLINTH_DEFAULTS_DIR ${PROJECT_SOURCE_DIR}/packaging/META_INFO)
set(PLINTH_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/plinth)

# --- runtime ------------------------------------------------------------------

if(PLINTH_INSTALL_LAYOUT STREQUAL "bundle")
  install(TARGETS Plinth RUNTIME DESTINATION . COMPONENT runtime)
  # The log configuration gets the log file's absolute path, known only once
  # the prefix is.
  install(CODE "set(PLINTH_LOG_TEMPLATE \"${PLINTH_DEFAULTS_DIR}/plinth.log4cxx.properties.in\")"
          COMPONENT runtime)
  install(CODE [[
    get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
    set(PLINTH_LOG_FILE "${prefix}/log/plinth.log")
    set(properties "$ENV{DESTDIR}${prefix}/META_INFO/plinth.log4cxx.properties")
    message(STATUS "Installing: ${properties}")
    configure_file("${PLINTH_LOG_TEMPLATE}" "${properties}" @ONLY)
  ]] COMPONENT runtime)
else()
  # Private to Plinth, so not in the multiarch library directory.
  set(PLINTH_LIB_DIR lib/plinth)
  set(PLINTH_CONF_DIR ${CMAKE_INSTALL_FULL_SYSCONFDIR}/plinth)
  set(PLINTH_LOG_DIR ${CMAKE_INSTALL_FULL_LOCALSTATEDIR}/log/plinth)
  set(PLINTH_STATE_DIR ${CMAKE_INSTALL_FULL_LOCALSTATEDIR}/lib/plinth)
  # The executable's directory is the only place Plinth looks for META_INFO,
  # so it holds the real binary and a link to the configuration in /etc; the
  # command in the path links to the binary (a link to the executable is
  # resolved to its real path).
  install(TARGETS Plinth RUNTIME DESTINATION ${PLINTH_LIB_DIR} COMPONENT runtime)
  set(links ${CMAKE_CURRENT_BINARY_DIR}/install-links)
  file(MAKE_DIRECTORY ${links})
  file(RELATIVE_PATH exe_from_bin ${CMAKE_INSTALL_FULL_BINDIR}
       ${CMAKE_INSTALL_PREFIX}/${PLINTH_LIB_DIR}/Plinth)
  file(CREATE_LINK ${exe_from_bin} ${links}/plinth SYMBOLIC)
  file(CREATE_LINK ${PLINTH_CONF_DIR} ${links}/META_INFO SYMBOLIC)
  install(FILES ${links}/plinth DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  install(FILES ${links}/META_INFO DESTINATION ${PLINTH_LIB_DIR} COMPONENT runtime)

  set(PLINTH_LOG_FILE ${PLINTH_LOG_DIR}/plinth.log)
  configure_file(${PLINTH_DEFAULTS_DIR}/plinth.log4cxx.properties.in
                 ${CMAKE_CURRENT_BINARY_DIR}/plinth.log4cxx.properties @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/plinth.log4cxx.properties ${PLINTH_DEFAULTS_DIR}/InitSetup.xml
          DESTINATION ${PLINTH_CONF_DIR} COMPONENT runtime)
  # The key goes into this file: readable by root only from the start.
  install(FILES ${PLINTH_DEFAULTS_DIR}/SQLiteConf/SQLiteConfig.xml
          DESTINATION ${PLINTH_CONF_DIR}/SQLiteConf
          PERMISSIONS OWNER_READ OWNER_WRITE COMPONENT runtime)
  install(FILES ${PLINTH_DEFAULTS_DIR}/db_init/SQLite/create_public_data.sql
          DESTINATION ${PLINTH_CONF_DIR}/db_init/SQLite COMPONENT runtime)
  # The log may hold what a failing script showed: root and the group adm
  # (Debian's group for reading logs) only. The package's postinst gives the
  # directory its group.
  install(DIRECTORY DESTINATION ${PLINTH_LOG_DIR}
          DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
          COMPONENT runtime)
  # Crash reports, when the build fixes their directory: root only.
  if(PLINTH_DUMP_DIR)
    install(DIRECTORY DESTINATION ${PLINTH_DUMP_DIR}
            DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE COMPONENT runtime)
  endif()
  install(DIRECTORY DESTINATION ${PLINTH_STATE_DIR} COMPONENT runtime)
endif()

# --- sample -------------------------------------------------------------------

install(DIRECTORY ${PROJECT_SOURCE_DIR}/sample/bin/META_INFO DESTINATION . COMPONENT sample)
install(TARGETS plinth_public_func plinth_inventory_func
        LIBRARY DESTINATION sqlite_ext COMPONENT sample)

# --- doc ----------------------------------------------------------------------
# The man page is installed by doc/CMakeLists.txt, where it is built.

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${PLINTH_DOC_DIR} COMPONENT doc)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/sample/product/
        DESTINATION ${PLINTH_DOC_DIR}/examples/product COMPONENT doc)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/sample/bin/META_INFO
        DESTINATION ${PLINTH_DOC_DIR}/examples/bin COMPONENT doc
        PATTERN "SQLiteConf" EXCLUDE)
install(FILES ${PROJECT_SOURCE_DIR}/sample/README.md
        DESTINATION ${PLINTH_DOC_DIR}/examples COMPONENT doc)
if(PLINTH_INSTALL_LAYOUT STREQUAL "bundle")
  install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION ${PLINTH_DOC_DIR} COMPONENT doc)
endif()
# The log configuration that writes the log as JSON, an example to put in
# place of plinth.log4cxx.properties: it logs to plinth.jsonl in the log
# directory of the layout, known in the bundle layout once the prefix is.
set(PLINTH_JSON_LOG_TEMPLATE ${PLINTH_DEFAULTS_DIR}/plinth.log4cxx.json.properties.in)
if(PLINTH_INSTALL_LAYOUT STREQUAL "bundle")
  install(CODE "set(PLINTH_JSON_LOG_TEMPLATE \"${PLINTH_JSON_LOG_TEMPLATE}\")
                set(PLINTH_EXAMPLES_DIR \"${PLINTH_DOC_DIR}/examples\")" COMPONENT doc)
  install(CODE [[
    get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
    set(PLINTH_LOG_FILE "${prefix}/log/plinth.jsonl")
    set(example "$ENV{DESTDIR}${prefix}/${PLINTH_EXAMPLES_DIR}/plinth.log4cxx.json.properties")
    message(STATUS "Installing: ${example}")
    configure_file("${PLINTH_JSON_LOG_TEMPLATE}" "${example}" @ONLY)
  ]] COMPONENT doc)
else()
  set(PLINTH_LOG_FILE ${PLINTH_LOG_DIR}/plinth.jsonl)
  configure_file(${PLINTH_JSON_LOG_TEMPLATE}
                 ${CMAKE_CURRENT_BINARY_DIR}/plinth.log4cxx.json.properties @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/plinth.log4cxx.json.properties
          DESTINATION ${PLINTH_DOC_DIR}/examples COMPONENT doc)
endif()
# The system layout's copyright and changelogs are in Debian's formats
# (cmake/Package.cmake).
