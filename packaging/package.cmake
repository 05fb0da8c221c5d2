# The Debian package (`make package`): kivo_<version>_<arch>.deb, installed under /usr,
# its library dependencies computed from the programs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kivo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "The KIVO developers <kivo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control program for a radio receiver on a serial line")
set(CPACK_PACKAGE_DESCRIPTION
    "KIVO switches a computer-controlled radio receiver on an RS-232C serial line on
and off, tunes it to an AM frequency in kHz or an FM frequency in MHz and sets
its volume. Named channels are kept in a list saved as a text file in the
user's config folder; a compact strip offers power, channel and volume in one
thin window. Started with a channel name it switches the receiver on and
tunes that channel.

The package also holds kivo-sim, a simulated receiver on a pseudo-terminal
for trying the program without the hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs know at build time where they are installed; a package of a build made
# for another prefix would keep the channel list beside /usr/bin/kivo.
set(CPACK_KIVO_BUILT_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-check.cmake)
# Packaging installs only what it needs, not the whole build with its tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
