# Installation of the manual page and the packages: a .deb per component on Linux, one .zip on
# Windows. The simulator is a component of its own and installs outside the system's programs.
include(GNUInstallDirs)
if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/doc/cablewright.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cablewright)
endif()

set(CPACK_PACKAGE_NAME cablewright)
set(CPACK_PACKAGE_VENDOR "cablewright developers")
set(CPACK_PACKAGE_CONTACT "cablewright developers <maintainers@users.noreply.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Shows, updates and initialises the ROM and ZAN logic of USB JTAG download cables")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_COMPONENTS_ALL cablewright simulator)
set(CPACK_COMPONENT_CABLEWRIGHT_DISPLAY_NAME "cablewright")
set(CPACK_COMPONENT_SIMULATOR_DISPLAY_NAME "Simulated JTAG bench (stand-in library, programmer, bench tool)")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # One archive with the listed components (the import library stays out).
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_PACKAGE_FILE_NAME "cablewright-${PROJECT_VERSION}-windows-x86_64")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_CABLEWRIGHT_PACKAGE_NAME cablewright)
  set(CPACK_DEBIAN_SIMULATOR_PACKAGE_NAME cablewright-simulator)
  # The client library comes with the JTAG server's own installation, so the package names no
  # dependency for it; the C and C++ runtimes are found by dpkg-shlibdeps.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_CABLEWRIGHT_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_CABLEWRIGHT_PACKAGE_DEPENDS "libc6, libstdc++6")
endif()
include(CPack)
