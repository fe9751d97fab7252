# Installation: the program and the files it reads beside itself in one folder,
# lib/tonewright/, a bin/tonewright link, a desktop entry, an icon, AppStream metainfo, a manual page
# and a bash completion; a .deb through CPack.
include(GNUInstallDirs)
set(TW_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/tonewright)

if(TARGET tonewright)
  install(TARGETS tonewright RUNTIME DESTINATION ${TW_INSTALL_DIR})
  install(FILES ${TW_PROGRAM_DIR}/back.bmp ${TW_PROGRAM_DIR}/tonehelp.html ${TW_PROGRAM_DIR}/demo.ogg
          DESTINATION ${TW_INSTALL_DIR})
  # The program finds its files beside its resolved executable, so a link in bin/ works.
  install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK ../${TW_INSTALL_DIR}/tonewright
         \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tonewright\" SYMBOLIC)")
  install(FILES ${CMAKE_SOURCE_DIR}/data/tonewright.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/data/tonewright.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${CMAKE_SOURCE_DIR}/data/com.ombrix.tonewright.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${CMAKE_SOURCE_DIR}/data/tonewright.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tonewright)
  # The manual page goes in compressed, as Debian wants it (CPack does not compress it); -n leaves the
  # name and time out of the gzip header, so that the same page makes the same package.
  set(TW_MAN_PAGE ${CMAKE_BINARY_DIR}/tonewright.1.gz)
  add_custom_command(OUTPUT ${TW_MAN_PAGE}
                     COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/data/tonewright.1 > ${TW_MAN_PAGE}
                     DEPENDS ${CMAKE_SOURCE_DIR}/data/tonewright.1
                     COMMENT "Compressing the manual page" VERBATIM)
  add_custom_target(tw_man_page ALL DEPENDS ${TW_MAN_PAGE})
  install(FILES ${TW_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(TARGET faac)
  install(TARGETS faac RUNTIME DESTINATION ${TW_INSTALL_DIR})
endif()
# The package's own documents as Debian has them: the copyright file and the changelog, compressed.
install(FILES ${CMAKE_SOURCE_DIR}/data/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tonewright)
set(TW_CHANGELOG ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${TW_CHANGELOG}
                   COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/data/debian/changelog > ${TW_CHANGELOG}
                   DEPENDS ${CMAKE_SOURCE_DIR}/data/debian/changelog
                   COMMENT "Compressing the changelog" VERBATIM)
add_custom_target(tw_changelog ALL DEPENDS ${TW_CHANGELOG})
install(FILES ${TW_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tonewright)

set(CPACK_PACKAGE_NAME tonewright)
set(CPACK_PACKAGE_VENDOR "Ombrix")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Turns a piece of any music file into an iPhone ringtone")
set(CPACK_PACKAGE_DESCRIPTION "Open a music file (MP3, Ogg, FLAC, WAV, AAC, M4A, WMA, tracker modules and
more), hear it at once, watch its waveform while it is scanned, mark a start
and an end, preview the part in a loop with fades, gain and filters, and
write it as a tagged AAC ringtone (.m4r) with one click. A loudness meter, a
suggested part (the song's chorus) and a command line for ringtones without
a window are included.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ombrix <support@tonewright.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its display plugins in qt6-qpa-plugins, which no library links; the folder opening after a
# conversion goes through the desktop's default handler.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-dejavu-core")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_GENERATOR DEB)
include(CPack)
