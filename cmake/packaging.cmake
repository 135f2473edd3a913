# Debian package: the program folder /usr/lib/tessaly holds the executables, sys.1 and
# the help document side by side; /usr/bin holds scripts that start them, so the program still finds
# its own folder.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tessaly.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tessaly.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tessaly-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME tessaly.xml)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessaly)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tessaly.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME io.github.tessaly.Tessaly.metainfo.xml)

# The maintainer is named here once: the package's control file and its changelog.
set(TESSALY_MAINTAINER "The Tessaly developers <tessaly-devel@users.noreply.github.com>"
    CACHE STRING "Package maintainer, name and address")
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/packaging/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog VERBATIM)
add_custom_target(changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessaly)
# Small scripts rather than links: CPack counts a link as the file it points to,
# which would double the package's Installed-Size.
foreach(exe tessaly tessaly-cli)
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/${exe}
       "#!/bin/sh\nexec \"$(dirname \"$(readlink -f \"$0\")\")/../${TESSALY_INSTALL_DIR}/${exe}\" \"$@\"\n")
  install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/${exe} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

set(CPACK_PACKAGE_NAME tessaly)
set(CPACK_PACKAGE_VENDOR "Tessaly")
set(CPACK_PACKAGE_CONTACT "${TESSALY_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photo and video folder library with an album site generator")
set(CPACK_PACKAGE_DESCRIPTION "Tessaly keeps a library of media folders (category, genre, title)
in an SQLite file, registers whole folder trees at once and publishes
the library as a static album site of HTML pages. Japanese user
interface; tessaly-cli does the same work from the command line.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libmdb3, qt6-qpa-plugins, qt6-translations-l10n, fonts-ipafont-gothic | fonts-noto-cjk, libavformat59, libavcodec59, libswscale6, libavutil57, libheif1, libtiff6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups-client")
set(CPACK_GENERATOR DEB)
include(CPack)
