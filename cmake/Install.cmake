# `cmake --install <build> --prefix <dir>` lays out the executable's directory
# of the sample product:
#
#   <dir>/Plinth                       the tool
#   <dir>/META_INFO/...                its log, SQLite and public-data settings
#   <dir>/log/plinth.log               where it logs (created on the first run)
#   <dir>/sqlite_ext/*.func.sqlite.so  the product's extension libraries
#
# The tool loads the extension libraries from the product's system directory,
# which lies outside this tree: whoever stages the product copies them from
# <dir>/sqlite_ext there (scripts/run-sample.sh does). InitSetup.xml, which
# names the data and system directories, is written at staging time too.

install(TARGETS Plinth RUNTIME DESTINATION . COMPONENT plinth)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/sample/bin/META_INFO
        DESTINATION . COMPONENT plinth
        PATTERN "*.in" EXCLUDE)

# The log configuration gets the log file's absolute path, known only once the
# prefix is.
install(CODE "set(PLINTH_LOG_TEMPLATE \"${PROJECT_SOURCE_DIR}/sample/bin/META_INFO/plinth.log4cxx.properties.in\")"
        COMPONENT plinth)
install(CODE [[
  get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
  set(PLINTH_LOG_FILE "${prefix}/log/plinth.log")
  set(properties "$ENV{DESTDIR}${prefix}/META_INFO/plinth.log4cxx.properties")
  message(STATUS "Installing: ${properties}")
  configure_file("${PLINTH_LOG_TEMPLATE}" "${properties}" @ONLY)
]] COMPONENT plinth)

install(TARGETS plinth_public_func plinth_inventory_func
        LIBRARY DESTINATION sqlite_ext COMPONENT sqlite_ext)
