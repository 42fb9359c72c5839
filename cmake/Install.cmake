# What `cmake --install` puts where, and the Debian package made from it
# (scripts/package.sh). Included from the top CMakeLists.txt once the
# programs' targets exist.
#
# The desktop program finds its help page as <bindir>/../share/doc/zorvane/help,
# so the layout below keeps bin/ and share/ side by side under one prefix.

include(GNUInstallDirs)

set(ZORVANE_SOURCE_RESOURCES ${PROJECT_SOURCE_DIR}/resources)
set(ZORVANE_GENERATED ${PROJECT_BINARY_DIR}/install)
# GNUInstallDirs would name the folder after the project, "Zorvane"; Debian
# and the program both use the package's name.
set(ZORVANE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/zorvane)

# The release this tree builds. Both the AppStream metadata and the package's
# changelog date it; change both lines together with the version in project().
set(ZORVANE_RELEASE_DATE 2026-12-10)

# The same day as the changelog writes it (RFC 2822, weekday included).
set(ZORVANE_RELEASE_CHANGELOG_DATE "Thu, 10 Dec 2026 00:00:00 +0000")

# zorvane-convert, its manual page and its bash completion.
install(TARGETS zorvane-convert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${ZORVANE_SOURCE_RESOURCES}/zorvane-convert.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
        RENAME zorvane-convert)

# Debian wants manual pages compressed, and without a time stamp or name in
# the gzip header (-n) so that two builds of one tree give the same package.
set(ZORVANE_MAN_PAGES zorvane-convert.1)
if(ZORVANE_BUILD_GUI)
  list(APPEND ZORVANE_MAN_PAGES zorvane.1)
endif()
set(ZORVANE_MAN_GZ)
foreach(page IN LISTS ZORVANE_MAN_PAGES)
  add_custom_command(
    OUTPUT ${ZORVANE_GENERATED}/man/${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZORVANE_GENERATED}/man
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/${page} > ${ZORVANE_GENERATED}/man/${page}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/${page}
    COMMENT "Compressing the manual page ${page}"
    VERBATIM)
  list(APPEND ZORVANE_MAN_GZ ${ZORVANE_GENERATED}/man/${page}.gz)
endforeach()

# The package's changelog, compressed the same way.
configure_file(${ZORVANE_SOURCE_RESOURCES}/changelog.in ${ZORVANE_GENERATED}/changelog @ONLY)
add_custom_command(
  OUTPUT ${ZORVANE_GENERATED}/changelog.gz
  COMMAND gzip -9nc ${ZORVANE_GENERATED}/changelog > ${ZORVANE_GENERATED}/changelog.gz
  DEPENDS ${ZORVANE_GENERATED}/changelog
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(zorvane_install_files ALL DEPENDS ${ZORVANE_MAN_GZ}
                                                    ${ZORVANE_GENERATED}/changelog.gz)
install(FILES ${ZORVANE_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${ZORVANE_SOURCE_RESOURCES}/copyright ${ZORVANE_GENERATED}/changelog.gz
        DESTINATION ${ZORVANE_INSTALL_DOCDIR})

if(ZORVANE_BUILD_GUI)
  install(TARGETS zorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${ZORVANE_SOURCE_RESOURCES}/zorvane.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES ${ZORVANE_SOURCE_RESOURCES}/icons/zorvane.svg
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
  # The bitmaps resources/resources.cmake renders, <size>x<size>/apps/zorvane.png.
  install(DIRECTORY ${PROJECT_BINARY_DIR}/icons/hicolor/
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor
          FILES_MATCHING PATTERN zorvane.png)
  configure_file(${ZORVANE_SOURCE_RESOURCES}/com.quenlor.Zorvane.metainfo.xml.in
                 ${ZORVANE_GENERATED}/com.quenlor.Zorvane.metainfo.xml @ONLY)
  install(FILES ${ZORVANE_GENERATED}/com.quenlor.Zorvane.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
  install(DIRECTORY ${ZORVANE_SOURCE_RESOURCES}/help/ DESTINATION ${ZORVANE_INSTALL_DOCDIR}/help)
endif()

# The Debian package: `cpack -G DEB` in a build configured for /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorvane)
set(CPACK_PACKAGE_VENDOR "Quenlor Corporation")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quenlor Corporation <support@quenlor.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch MP3 speed changer, with or without changing the pitch")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_NAME zorvane)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quenlor Corporation <support@quenlor.com>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.quenlor.com/zorvane/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(ZORVANE_BUILD_GUI)
  # Loaded as Qt plugins, not linked, so dpkg-shlibdeps cannot see it: the
  # SVG icon engine draws the program's icons.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6svg6)
endif()
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Zorvane makes MP3 files play faster or slower: audiobooks, podcasts and
lectures to hear in less time, or music to practise with at a slower pace.
It converts many files at once into new MP3 files at 20 % to 500 % of their
speed, either keeping the pitch (tempo mode) or letting it rise and fall
with the speed (resampling mode), and copies the tags and cover art of each
file. The source files are never changed.

The package holds the desktop program and zorvane-convert, a command-line
tool with the same engine and settings for scripts and terminals.")
include(CPack)
