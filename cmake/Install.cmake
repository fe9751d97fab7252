# Installation: the program and the files it reads beside itself in one folder,
# lib/tonewright/, a bin/tonewright link, a desktop entry and an icon; a .deb through CPack.
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
endif()
if(TARGET faac)
  install(TARGETS faac RUNTIME DESTINATION ${TW_INSTALL_DIR})
endif()
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tonewright)

set(CPACK_PACKAGE_NAME tonewright)
set(CPACK_PACKAGE_VENDOR "Ombrix")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Turns a piece of any music file into an iPhone ringtone")
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
