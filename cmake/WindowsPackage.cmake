# The Windows release archive: `cpack` in the windows build gives korvex-<version>-win64.zip,
# one folder with the programs, a read-me and the demo firmware files. (The Linux install
# rules and packages are configured elsewhere; this file is used only for Windows.)
set(korvex_windows_programs korvex-cli korvex-qfw)
if(TARGET korvex)
  list(APPEND korvex_windows_programs korvex)
endif()
install(TARGETS ${korvex_windows_programs} RUNTIME DESTINATION . COMPONENT windows)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/windows/README.txt DESTINATION . COMPONENT windows)
install(FILES ${CMAKE_SOURCE_DIR}/config/demo/demo_type2_v123.qfw
              ${CMAKE_SOURCE_DIR}/config/demo/demo_type2_v124.qfw
        DESTINATION demo COMPONENT windows)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME korvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME korvex-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_ALL windows)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
