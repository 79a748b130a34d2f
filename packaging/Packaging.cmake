# Installation and packages. The program folder holds the programs, the default object library and
# the language files side by side, because the program finds all of them (and writes downloaded
# program files) next to its executable. Two install components lay it out:
#   portable  the program folder at the top of the archive (.tar.gz): the main form, which the
#             program can update in place
#   system    the Debian package: the program folder /usr/lib/tarnlow_as, the two programs on the
#             PATH, desktop entry, MIME type, icons and the man page in the system's folders
# scripts/package builds both with CPack. A plain "cmake --install" installs the system layout only.

set(TARNLOW_PROGRAM_TARGETS tarnlow_as_cli)
if(TARGET tarnlow_as)
  list(PREPEND TARNLOW_PROGRAM_TARGETS tarnlow_as)
endif()
set(TARNLOW_SYSTEM_PROGRAM_FOLDER lib/tarnlow_as)

install(TARGETS ${TARNLOW_PROGRAM_TARGETS} RUNTIME DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
install(TARGETS ${TARNLOW_PROGRAM_TARGETS} RUNTIME DESTINATION ${TARNLOW_SYSTEM_PROGRAM_FOLDER} COMPONENT system)
if(TARGET tarnlow_main)
  install(TARGETS tarnlow_main LIBRARY DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
  install(TARGETS tarnlow_main LIBRARY DESTINATION ${TARNLOW_SYSTEM_PROGRAM_FOLDER} COMPONENT system)
endif()
install(FILES ${TARNLOW_LANGUAGE_FILES} DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
install(FILES ${TARNLOW_LANGUAGE_FILES} DESTINATION ${TARNLOW_SYSTEM_PROGRAM_FOLDER} COMPONENT system)
install(FILES "${CMAKE_SOURCE_DIR}/README.md" DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
install(FILES "${CMAKE_SOURCE_DIR}/README.md" DESTINATION share/doc/tarnlow-as COMPONENT system)
# The pages the README links to, beside it.
install(DIRECTORY "${CMAKE_SOURCE_DIR}/docs" DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
install(DIRECTORY "${CMAKE_SOURCE_DIR}/docs" DESTINATION share/doc/tarnlow-as COMPONENT system)

# The programs on the PATH are links into the program folder; the program resolves the link to
# find its folder.
set(links "${CMAKE_BINARY_DIR}/packaging/bin")
file(MAKE_DIRECTORY "${links}")
foreach(program IN LISTS TARNLOW_PROGRAM_TARGETS)
  file(CREATE_LINK "../${TARNLOW_SYSTEM_PROGRAM_FOLDER}/${program}" "${links}/${program}" SYMBOLIC)
  install(FILES "${links}/${program}" DESTINATION bin COMPONENT system)
endforeach()

set(packaging "${CMAKE_SOURCE_DIR}/packaging")
install(FILES "${packaging}/tarnlow_as.desktop" DESTINATION share/applications COMPONENT system)
install(FILES "${packaging}/tarnlow_as-fuf.xml" DESTINATION share/mime/packages COMPONENT system)
install(FILES "${packaging}/icons/tarnlow_as.svg" DESTINATION share/icons/hicolor/scalable/apps COMPONENT system)
foreach(size IN ITEMS 48 256)
  install(FILES "${packaging}/icons/tarnlow_as-${size}.png" DESTINATION share/icons/hicolor/${size}x${size}/apps
          RENAME tarnlow_as.png COMPONENT system)
endforeach()

# The man page of tarnlow_as_cli, made from its --help and --version.
find_program(HELP2MAN_PROGRAM help2man)
find_program(GZIP_PROGRAM gzip)
if(HELP2MAN_PROGRAM AND GZIP_PROGRAM)
  set(man "${CMAKE_BINARY_DIR}/man/tarnlow_as_cli.1")
  add_custom_command(
    OUTPUT "${man}.gz"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/man"
    COMMAND "${HELP2MAN_PROGRAM}" --no-info --section=1
            "--name=package and database work of tarnlow_as without a display" --output=${man}
            $<TARGET_FILE:tarnlow_as_cli>
    COMMAND "${GZIP_PROGRAM}" -9 -n -f "${man}"
    DEPENDS tarnlow_as_cli
    COMMENT "Making the man page of tarnlow_as_cli"
    VERBATIM)
  add_custom_target(tarnlow_man_page ALL DEPENDS "${man}.gz")
  install(FILES "${man}.gz" DESTINATION share/man/man1 COMPONENT system)
else()
  message(STATUS "help2man or gzip not found: no man page for tarnlow_as_cli (scripts/setup-deps installs them)")
endif()

set(CPACK_PACKAGE_NAME tarnlow_as)
set(CPACK_PACKAGE_VENDOR "tarnlow_as")
set(CPACK_PACKAGE_CONTACT "tarnlow_as maintainers <tarnlow_as@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Start-up and maintenance shell for a game server's database")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "tarnlow_as connects to a game server's database (Microsoft SQL Server through ODBC, PostgreSQL or an "
  "embedded SQLite file), keeps its system tables, distributes program updates through the database as "
  ".fuf update packages and shows its texts in the operator's language. tarnlow_as_cli does the same "
  "package and database work without a display.")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_STRIP_FILES ON)
# Each generator packs its own component whole (see CPackOptions.cmake).
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_SOURCE_DIR}/packaging/CPackOptions.cmake")

# Debian: the names of the shared libraries come from dpkg-shlibdeps; the Qt plugins the program
# loads at run time (database drivers, the desktop's platform plugin) are named here.
set(CPACK_DEBIAN_PACKAGE_NAME tarnlow-as)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql, libqt6sql6-odbc, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tdsodbc, unixodbc, desktop-file-utils, shared-mime-info")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql")

include(CPack)
cpack_add_component(portable DISPLAY_NAME "Program folder")
cpack_add_component(system DISPLAY_NAME "Installed program")
