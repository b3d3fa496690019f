# What `cmake --install` (and the packages made from it) puts where: the four programs, the
# demo firmware files, the documentation, the manual pages, shell completion and the desktop
# integration of the window (entry, icons, the .qfw file type).
include(GNUInstallDirs)

set(KORVEX_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

# Each program, with its manual page where manual pages are read.
foreach(program korvex korvex-cli korvex-qfw korvex-panel)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    if(UNIX)
      install(FILES ${KORVEX_PACKAGING_DIR}/man/${program}.1
              DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
  endif()
endforeach()

# The demo files are packed with the test key: a build with another key would refuse them,
# so they are installed only with the key they were made for.
get_filename_component(korvex_key_real "${KORVEX_KEY_FILE}" REALPATH)
get_filename_component(korvex_test_key_real "${CMAKE_SOURCE_DIR}/config/test_key.bin" REALPATH)
if(korvex_key_real STREQUAL korvex_test_key_real)
  install(FILES ${CMAKE_SOURCE_DIR}/config/demo/demo_type2_v123.qfw
                ${CMAKE_SOURCE_DIR}/config/demo/demo_type2_v124.qfw
          DESTINATION ${CMAKE_INSTALL_DATADIR}/korvex/demo)
endif()

install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/sim/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR}
        RENAME README.simulator.md)

if(UNIX)
  install(FILES ${KORVEX_PACKAGING_DIR}/completion/korvex-cli
                ${KORVEX_PACKAGING_DIR}/completion/korvex-qfw
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

if(UNIX AND TARGET korvex_theme_icons)
  install(FILES ${KORVEX_PACKAGING_DIR}/linux/korvex.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${KORVEX_PACKAGING_DIR}/linux/korvex-mime.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME korvex.xml)
  get_target_property(korvex_icon_dir korvex_theme_icons KORVEX_ICON_DIR)
  install(DIRECTORY ${korvex_icon_dir}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
endif()
