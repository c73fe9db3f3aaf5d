# The Debian package, built by `cpack` in a configured build directory
# (scripts/package does that).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane-updater)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvane")
set(CPACK_PACKAGE_CONTACT "Orvane Firmware Update Tool maintainers <maintainers@users.noreply.c-seed-5555a0e0.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debug information stays in the build directory.
set(CPACK_STRIP_FILES TRUE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # orvane-updater_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "firmware update tool for Orvane USB audio dongles
Updates the firmware of Orvane USB DACs and headphone amplifiers built on the
Vantrel USB-audio bridge chip: a desktop program that finds the dongle, loads
its update file and erases, programs and verifies the flash with one button.
.
The package also contains orvane-update, the same update from a terminal or a
script, and vantrel-devsim, a simulated dongle for trying both without
hardware. A udev rule gives the user at the seat access to the dongles.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst
  ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

include(CPack)
