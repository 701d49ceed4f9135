# What `cmake --install` places on Linux (the Debian package holds the same,
# under /usr):
#
#   lib/zephmonitor/              the program folder, as scripts/demo lays out
#                                 its demo folder: the monitor, zephcheck, the
#                                 stand-in companions, wyn/, curves/ and games/
#                                 with the stand-in games
#   bin/zephmonitor, bin/zephcheck
#                                 the launcher (packaging/launcher.sh.in) and a
#                                 link to it: they run the two programs from
#                                 the folder, or from the user's own copy of
#                                 it where the user cannot write the folder
#   share/applications/zephmonitor.desktop
#                                 the launcher
#   share/icons/hicolor/<size>x<size>/apps/zephmonitor.png and
#   zephmonitor-suspended.png     the icons, found by name
set(ZEPH_INSTALL_FOLDER lib/zephmonitor)

install(TARGETS ZephMonitor zephcheck zeph_control_standin zeph_event_standin
                zeph_customizer_standin zeph_webupdate_standin
        RUNTIME DESTINATION ${ZEPH_INSTALL_FOLDER})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/demo/wyn ${PROJECT_SOURCE_DIR}/demo/curves
                  ${PROJECT_SOURCE_DIR}/demo/games
        DESTINATION ${ZEPH_INSTALL_FOLDER})
# The stand-in game is the test child; a build without tests has no games.
if(TARGET testchild)
  install(PROGRAMS $<TARGET_FILE:testchild> RENAME demo.exe
          DESTINATION ${ZEPH_INSTALL_FOLDER}/games/DemoRacer)
  install(PROGRAMS $<TARGET_FILE:testchild> RENAME tuner.exe
          DESTINATION ${ZEPH_INSTALL_FOLDER}/games/DemoTuner)
endif()

# The launcher finds the folder relative to itself, so that it holds under
# any prefix; zephcheck is a relative link to it, which it tells by its name.
set(links ${CMAKE_BINARY_DIR}/install-links)
set(ZEPH_LAUNCHER_TO_FOLDER ../${ZEPH_INSTALL_FOLDER})
configure_file(${PROJECT_SOURCE_DIR}/packaging/launcher.sh.in ${links}/zephmonitor @ONLY)
file(CREATE_LINK zephmonitor ${links}/zephcheck SYMBOLIC)
install(PROGRAMS ${links}/zephmonitor DESTINATION bin)
install(FILES ${links}/zephcheck DESTINATION bin)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/tray/posix/icons/hicolor DESTINATION share/icons)

# The desktop launcher's Exec names bin/zephmonitor under the prefix of each
# install, so the file is written when installing.
install(CODE "
  set(ZEPH_DESKTOP_TEMPLATE \"${PROJECT_SOURCE_DIR}/packaging/zephmonitor.desktop.in\")
  set(ZEPH_DESKTOP_WORK \"${CMAKE_BINARY_DIR}/packaging\")
  include(\"${PROJECT_SOURCE_DIR}/cmake/InstallLauncher.cmake\")
")
