# The Debian package, made by CPack from the install rules: korvex_<version>_amd64.deb.
# Its dependencies (the Qt and C++ runtime libraries) are computed by dpkg-shlibdeps from
# the programs' own links, never listed by hand.
#
#   cpack --config build/default/CPackConfig.cmake -B build/default/package
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KORVEX team")
set(CPACK_PACKAGE_CONTACT "KORVEX team <korvex@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for SOLANTA alarm control panels")
set(CPACK_PACKAGE_DESCRIPTION
    "KORVEX updates the firmware of SOLANTA alarm control panels over an RS-232 line: it
checks a scrambled firmware file (.qfw), talks to the panel's boot loader, erases, programs
and verifies its FLASH, converts stored settings, updates the ST controller and restarts the
panel. The package holds the operator's window (korvex), the terminal front end for
fixtures and scripts (korvex-cli), the firmware file tool (korvex-qfw) and a panel
simulator (korvex-panel) with demonstration firmware files.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
