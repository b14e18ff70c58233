# The Debian package (scripts/package): the programs, their man pages, a desktop entry and icon
# for the windows, a system service for corvio-server (disabled until enabled), bash completion
# for corvioctl, and the files Debian asks of every package. Its runtime dependencies are read from the linked libraries
# (dpkg-shlibdeps); adduser is for the service's user.

# The version of the client, from src/base/version.h: v0.13.0004 is 0.13.4.
file(STRINGS ${CMAKE_SOURCE_DIR}/src/base/version.h version_lines REGEX "kVersion[A-Za-z]+ = ")
foreach(line ${version_lines})
  string(REGEX MATCH "kVersion([A-Za-z]+) = ([0-9]+)" _ "${line}")
  set(version_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
endforeach()
set(CORVIO_VERSION ${version_Major}.${version_Minor}.${version_Build})

configure_file(${CMAKE_CURRENT_LIST_DIR}/corvio-server.service.in
               ${CMAKE_BINARY_DIR}/packaging/corvio-server.service @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/corvio-server.service
        DESTINATION lib/systemd/system)  # not LIBDIR: systemd looks in PREFIX/lib, never multiarch
if(CORVIO_QT)  # without the windows, corvio has nothing to show a desktop user
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/corvio.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/corvio.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/corvioctl.bash RENAME corvioctl
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Debian's changelog and copyright, in /usr/share/doc/corvio.
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
find_program(GZIP gzip)
if(GZIP)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
                     COMMAND ${GZIP} -9nc ${CMAKE_BINARY_DIR}/packaging/changelog
                             > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
                     DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog)
  add_custom_target(package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvio)
set(CPACK_PACKAGE_VERSION ${CORVIO_VERSION})
set(CPACK_PACKAGE_CONTACT
    "Meridane Online Backup developers <maintainers@users.noreply.c-seed-d74572bb.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "online backup client with scheduled runs, and its reference server
The client backs up folders to an online backup server: it cuts files
into blocks, uploads only the blocks the server lacks, compressed over
TLS, and keeps a catalog of every run. corvioctl manages its profiles,
lists runs, prints logs and puts profiles on a systemd timer.
corvio-server is the reference server the client is tested against; it
can run as a system service.")
include(CPack)
