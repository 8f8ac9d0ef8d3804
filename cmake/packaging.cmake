# Install rules and CPack.
#
# Windows (the win32 build): one zip with the 32-bit Korvane.exe and Dunmarle.sys at the top, the 64-bit pair of
# the win64 build (KORVANE_X64_DIR, build that preset first) in x64/, an empty SysFile folder with its README, the
# user guide and the licences. Linux (the native build): a Debian package and a tarball of korvane with its manual
# page and bash completion. Package names carry the project version.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Korvane project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Prepares USB flash disks and floppy images for floppy-drive emulators")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(KORVANE_GUIDES ${CMAKE_SOURCE_DIR}/docs/user-guide.md ${CMAKE_SOURCE_DIR}/docs/user-guide.zh.md)
set(KORVANE_LICENCES ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/THIRD-PARTY.md)

if(WIN32)
  set(KORVANE_X64_DIR ${CMAKE_SOURCE_DIR}/build/win64 CACHE PATH "The win64 build whose Korvane.exe and Dunmarle.sys go into x64/")
  install(TARGETS Korvane RUNTIME DESTINATION .)
  install(FILES ${DUNMARLE_SYS} DESTINATION .)
  install(FILES ${KORVANE_X64_DIR}/Korvane.exe ${KORVANE_X64_DIR}/Dunmarle.sys DESTINATION x64)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/SysFile-README.txt DESTINATION SysFile RENAME README.txt)
  install(FILES ${KORVANE_GUIDES} ${KORVANE_LICENCES} DESTINATION .)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/images DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Korvane-${PROJECT_VERSION}-windows)
else()
  include(GNUInstallDirs)
  install(TARGETS korvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  configure_file(${CMAKE_SOURCE_DIR}/docs/korvane.1.in ${CMAKE_BINARY_DIR}/korvane.1 @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/korvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/korvane.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME korvane)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvane RENAME copyright)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${KORVANE_GUIDES} ${CMAKE_SOURCE_DIR}/THIRD-PARTY.md
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvane)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/images DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvane)
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_PACKAGE_NAME korvane)
  set(CPACK_PACKAGE_FILE_NAME korvane-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  # CPack's defaults: the Debian package installs under /usr, the tarball unpacks into bin/ and share/.
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Korvane project")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PACKAGE_DESCRIPTION "korvane formats floppy images, floppy blocks (up to 100 floppies on one USB stick, \
as the enhanced edition of the Windows program lays them out) and FAT12/FAT16 volumes on image files and removable \
USB disks, makes them DOS-bootable and puts files into them.")
endif()
include(CPack)
