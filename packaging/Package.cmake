# The Debian package: `cpack` in the build folder makes
# zephmonitor_<version>_<architecture>.deb of what `cmake --install` places,
# under /usr.

# One version: the one the About dialog shows.
file(STRINGS ${PROJECT_SOURCE_DIR}/src/tray/Dialogs.cpp version_line REGEX "kVersionText = ")
if(NOT version_line MATCHES " v([0-9]+(\\.[0-9]+)*)\"")
  message(FATAL_ERROR "no version text in src/tray/Dialogs.cpp")
endif()
set(CPACK_PACKAGE_VERSION ${CMAKE_MATCH_1})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zephmonitor)
set(CPACK_PACKAGE_VENDOR "ZephMonitor developers")
set(CPACK_PACKAGE_CONTACT "ZephMonitor developers <support@zephmonitor.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "notification-area monitor for a six-axis ball controller")
# Lines of the long description, each kept short as Debian's tools show them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Watches the running programs; when a game named in one of its game\n"
       "profiles starts, it adapts the controller to that game through its\n"
       "companion programs, and sets the controller back when the game ends.\n"
       "The stand-in companion programs and a demo game come with it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://zephmonitor.example.org/")
# The libraries the programs link, found by dpkg-shlibdeps (package dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)

configure_file(${CMAKE_CURRENT_LIST_DIR}/postrm.in ${CMAKE_BINARY_DIR}/packaging/postrm @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
