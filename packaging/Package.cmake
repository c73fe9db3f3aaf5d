# The Debian packages, made by `cpack` in a build folder configured with
# ORVANE_PACKAGING (scripts/package does that), one per install component:
#   orvane-update   the command-line updater and the udev rule; no Qt, for
#                   service benches and scripts
#   orvane-updater  the window; it needs orvane-update for the rule
#   vantrel-devsim  the simulated dongle, for trying the tools without one,
#                   kept off the PATH of everyone who does not ask for it
# There is no Homepage field: the project has no homepage (see copyright).
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL update simulator)
if(ORVANE_BUILD_GUI)
  list(APPEND CPACK_COMPONENTS_ALL window)
endif()
set(CPACK_PACKAGE_NAME orvane-updater)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${ORVANE_DEBIAN_REVISION})
set(CPACK_PACKAGE_VENDOR "Orvane")
set(CPACK_PACKAGE_CONTACT "Orvane Firmware Update Tool maintainers <maintainers@users.noreply.c-seed-5555a0e0.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debug information stays in the build folder.
set(CPACK_STRIP_FILES TRUE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # <package>_<version>-<revision>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# A package that needs another of these asks for the same version of it.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# Up to 1.61 one package, orvane-updater, held all three programs: the
# packages that now hold two of them take their files over on upgrade.
set(ORVANE_SPLIT_FROM "orvane-updater (<< 1.61-1)")

set(CPACK_DEBIAN_UPDATE_PACKAGE_NAME orvane-update)
set(CPACK_DEBIAN_UPDATE_PACKAGE_SOURCE orvane-updater)
set(CPACK_DEBIAN_UPDATE_PACKAGE_BREAKS "${ORVANE_SPLIT_FROM}")
set(CPACK_DEBIAN_UPDATE_PACKAGE_REPLACES "${ORVANE_SPLIT_FROM}")
set(CPACK_DEBIAN_UPDATE_DESCRIPTION "firmware updater for Orvane USB audio dongles, command line
Updates the firmware of Orvane USB DACs and headphone amplifiers built on the
Vantrel USB-audio bridge chip from a terminal or a script: it finds the
dongle, loads its update file, asks, then erases, programs and verifies the
flash, showing a progress bar or printing JSON events for wrappers. It can
also update several dongles at once, list them and read their flash back.
.
A udev rule gives the user at the seat access to the dongles. The package
needs no graphical toolkit; the window is in the package orvane-updater.")
# The rule takes effect at once, and goes when the package goes.
set(CPACK_DEBIAN_UPDATE_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_LIST_DIR}/debian/postinst
  ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME orvane-updater)
set(CPACK_COMPONENT_WINDOW_DEPENDS update)
# The window's lines are laid out for a narrow Arial-metric face: Liberation
# Sans Narrow, or URW's Nimbus Sans Narrow. Without a platform plugin Qt
# cannot open a window at all.
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "fonts-liberation | fonts-urw-base35, qt6-qpa-plugins")
set(CPACK_DEBIAN_WINDOW_DESCRIPTION "firmware update tool for Orvane USB audio dongles
Updates the firmware of Orvane USB DACs and headphone amplifiers built on the
Vantrel USB-audio bridge chip: a desktop program that finds the dongle, loads
its update file and erases, programs and verifies the flash with one button.
The file manager offers it for Intel HEX update files.
.
It uses the udev rule of orvane-update, the same update from a terminal or a
script.")

set(CPACK_DEBIAN_SIMULATOR_PACKAGE_NAME vantrel-devsim)
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_SOURCE orvane-updater)
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_BREAKS "${ORVANE_SPLIT_FROM}")
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_REPLACES "${ORVANE_SPLIT_FROM}")
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_SUGGESTS orvane-update)
set(CPACK_DEBIAN_SIMULATOR_DESCRIPTION "simulated Orvane USB audio dongle for trying the firmware updaters
A simulated Orvane dongle: the Vantrel USB-audio bridge chip with its serial
flash, its I2C bus and its firmware, published as a virtual USB device that
orvane-update and orvane-updater find next to real ones. It writes sample
update files and can be told to fail (transfers that fail or stall, a dongle
unplugged halfway, flash bits that read wrong), for trying the updaters and
testing them without hardware.")

# Every time stamp in the packages is the changelog's date, unless the
# builder sets SOURCE_DATE_EPOCH for the cpack run.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/CPackSourceDate.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
  "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n  set(ENV{SOURCE_DATE_EPOCH} ${ORVANE_SOURCE_DATE_EPOCH})\nendif()\n")

include(CPack)
