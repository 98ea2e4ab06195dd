# CPack's project configuration file, read by cpack before each generator runs: a .deb names
# its maintainer, so without one cpack stops here at once instead of deep inside CPack.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_DEBIAN_PACKAGE_MAINTAINER STREQUAL "")
  message(FATAL_ERROR
          "The .deb packages need a maintainer: configure with "
          "-DCW_PACKAGE_MAINTAINER=\"Name <address>\" and run cpack again.")
endif()
