# Installation of the manual page and the packages: a .deb per component on Linux, one .zip on
# Windows. The simulator is a component of its own and installs outside the system's programs.
include(GNUInstallDirs)
if(NOT WIN32)
  # Debian installs manual pages compressed, with no name or time stamp in the gzip header.
  find_program(CW_GZIP gzip REQUIRED)
  set(CW_MAN_PAGE ${CMAKE_BINARY_DIR}/doc/cablewright.1.gz)
  add_custom_command(OUTPUT ${CW_MAN_PAGE}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
                     COMMAND ${CW_GZIP} -9nc ${PROJECT_SOURCE_DIR}/doc/cablewright.1 > ${CW_MAN_PAGE}
                     DEPENDS ${PROJECT_SOURCE_DIR}/doc/cablewright.1 VERBATIM)
  add_custom_target(cw_man_page ALL DEPENDS ${CW_MAN_PAGE})
  add_dependencies(cablewright cw_man_page)
  install(FILES ${CW_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cablewright)
  # The bash completion, with the option words of the option table filled in; a cross build,
  # which cannot run the program that prints them, installs none.
  if(TARGET cw_option_words)
    set(CW_COMPLETION ${CMAKE_BINARY_DIR}/doc/cablewright.bash)
    add_custom_command(OUTPUT ${CW_COMPLETION}
                       COMMAND ${CMAKE_COMMAND} -DOPTION_WORDS=$<TARGET_FILE:cw_option_words>
                               -DINPUT=${PROJECT_SOURCE_DIR}/doc/cablewright.bash.in
                               -DOUTPUT=${CW_COMPLETION}
                               -P ${PROJECT_SOURCE_DIR}/cmake/fill_completion.cmake
                       DEPENDS cw_option_words ${PROJECT_SOURCE_DIR}/doc/cablewright.bash.in
                               ${PROJECT_SOURCE_DIR}/cmake/fill_completion.cmake
                       VERBATIM)
    add_custom_target(cw_completion ALL DEPENDS ${CW_COMPLETION})
    add_dependencies(cablewright cw_completion)
    install(FILES ${CW_COMPLETION}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME cablewright
            COMPONENT cablewright)
    # bash is always there where the completion is made.
    if(BUILD_TESTING)
      add_test(NAME bash_completion
               COMMAND bash ${PROJECT_SOURCE_DIR}/tests/completion_test.sh ${CW_COMPLETION})
      set_tests_properties(bash_completion PROPERTIES TIMEOUT 20)
    endif()
  endif()
  # Each package carries the copyright file and a compressed changelog in its documentation.
  configure_file(${PROJECT_SOURCE_DIR}/doc/changelog.in ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
  set(CW_CHANGELOG ${CMAKE_BINARY_DIR}/doc/changelog.gz)
  add_custom_command(OUTPUT ${CW_CHANGELOG}
                     COMMAND ${CW_GZIP} -9nc ${CMAKE_BINARY_DIR}/doc/changelog > ${CW_CHANGELOG}
                     DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog VERBATIM)
  add_custom_target(cw_changelog ALL DEPENDS ${CW_CHANGELOG})
  add_dependencies(cablewright cw_changelog)
  foreach(component_package cablewright:cablewright simulator:cablewright-simulator)
    string(REPLACE ":" ";" pair ${component_package})
    list(GET pair 0 component)
    list(GET pair 1 package)
    install(FILES ${PROJECT_SOURCE_DIR}/doc/copyright ${CW_CHANGELOG}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  endforeach()
endif()

set(CPACK_PACKAGE_NAME cablewright)
set(CPACK_PACKAGE_VENDOR "cablewright developers")
set(CW_PACKAGE_MAINTAINER "" CACHE STRING
    "Maintainer of the .deb packages, as \"Name <address>\" (required for cpack on Linux)")
set(CPACK_PACKAGE_CONTACT "${CW_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_COMPONENTS_ALL cablewright simulator)
# Checks that only cpack needs (the maintainer), so that configuring, building and installing
# need none of them.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_project_config.cmake)
set(CPACK_COMPONENT_CABLEWRIGHT_DISPLAY_NAME "cablewright")
set(CPACK_COMPONENT_SIMULATOR_DISPLAY_NAME "Simulated JTAG bench (stand-in library, programmer, bench tool)")

if(WIN32)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "Shows, updates and initialises the ROM and ZAN logic of USB JTAG download cables")
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
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CW_PACKAGE_MAINTAINER}")
  set(CPACK_STRIP_FILES ON)
  # Each package's first line is its short description; CPack indents the rest and turns the
  # empty line into " .". No global summary is set: CPack would put it before both.
  set(CPACK_COMPONENT_CABLEWRIGHT_DESCRIPTION
      "show, update and initialise USB JTAG download cables
cablewright maintains USB JTAG download cables of one family: it shows a
cable's ROM (hardware id, serial number, product name, signature and the
version of the cable's own ZAN logic), lists the attached cables, updates a
cable's logic from a POF file while keeping the cable's identity, and gives a
blank cable its identity and serial number.

It reaches the cables through the JTAG server's client library
linkhub_client, which comes with the JTAG server and is not part of this
package, and hands the programming to the programmer vantor_pgm.")
  set(CPACK_COMPONENT_SIMULATOR_DESCRIPTION
      "simulated JTAG bench for trying out cablewright
A stand-in for the JTAG server's client library linkhub_client and for the
programmer vantor_pgm, serving simulated cables from a bench directory, with
the bench tool cablebench to add cables, inject faults and make POF files.

It installs into /usr/lib/cablewright-simulator, apart from the system's
programs, and is meant for demonstrations and tests without hardware.")
  set(CPACK_DEBIAN_CABLEWRIGHT_DESCRIPTION "${CPACK_COMPONENT_CABLEWRIGHT_DESCRIPTION}")
  set(CPACK_DEBIAN_SIMULATOR_DESCRIPTION "${CPACK_COMPONENT_SIMULATOR_DESCRIPTION}")
endif()
include(CPack)
