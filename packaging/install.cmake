# What `cmake --install` puts under the prefix, and so what the Debian
# package holds: the program, its menu entry and icons, its AppStream data,
# its manual page, and the copyright and changelog files. Every path is
# relative to the prefix, so any prefix works (/usr/local, ~/.local, /usr).

# The application's id names the desktop entry, the icons and the AppStream
# file alike; desktops match them by it.
set(VELLACOR_APP_ID org.vellacor.vellacor)

install(TARGETS vellacor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (`cmake --install --strip`, and the package) also drops
# the compiler's identification and the .note section, as Debian's own
# packages do; CMake's plain strip keeps them.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/vellacor\"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()")

install(FILES share/applications/${VELLACOR_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES share/metainfo/${VELLACOR_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The icons are scaled from a rendering of the terrain by
# scripts/screenshots.sh; one PNG per size of the hicolor theme.
foreach(size 16 24 32 48 64 128 256)
  install(FILES share/icons/hicolor/${size}x${size}/apps/${VELLACOR_APP_ID}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The manual page carries the version in its footer; it and the changelog
# are installed compressed, without a timestamp in the gzip header, so that
# the same sources always give the same files.
find_program(GZIP_PROGRAM gzip REQUIRED)
configure_file(share/man/man1/vellacor.1.in vellacor.1 @ONLY)
add_custom_command(OUTPUT vellacor.1.gz
  COMMAND ${GZIP_PROGRAM} -9 -n -c vellacor.1 > vellacor.1.gz
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/vellacor.1
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  VERBATIM)
add_custom_command(OUTPUT changelog.gz
  COMMAND ${GZIP_PROGRAM} -9 -n -c ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog > changelog.gz
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  VERBATIM)
add_custom_target(vellacor_docs ALL DEPENDS
  ${CMAKE_CURRENT_BINARY_DIR}/vellacor.1.gz ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)

install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vellacor.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The version has no Debian revision (the package is built from these
# sources as they are, a native package), so the Debian-format changelog is
# changelog.gz, not changelog.Debian.gz.
install(FILES packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
