# The Debian package: `cpack -G DEB` in a Release build folder, or scripts/package.sh.
# It holds what `cmake --install` puts in place (the configurator, orvek-sim, the
# desktop entry and the icon) under /usr. The dependencies on shared libraries
# are read from the binaries by dpkg-shlibdeps, so a Qt module linked later turns
# up in them by itself.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvek-configurator)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "orvek-configurator")
set(CPACK_PACKAGE_CONTACT "orvek-configurator maintainers <root@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration and diagnostics of RS-485 field devices")
set(CPACK_PACKAGE_DESCRIPTION
    "Desktop tool for the service engineer: finds the relay protection units, I/O\n\
modules, temperature sensors and electricity meters of a process-control system\n\
on an RS-485 bus, changes their address, baud rate and settings, runs\n\
communication tests and shows live values. orvek-sim serves a simulated bus of\n\
these devices on a pseudo-terminal for trying it out without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds fonts through fontconfig; the Cyrillic texts need a font that has them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_STRIP_FILES ON)
# Packaging takes the programs as they are built: scripts/package.sh builds only
# those two, and the package would otherwise wait for the whole test suite.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
