# Installation and the Debian package.
#
# The programs and the register map they read live together in a folder of
# their own, REGDIAG_INSTALL_DIR (lib/regdiag, or lib/<multiarch>/regdiag
# for the prefix /usr). The launchers on the PATH are symbolic links into
# it: a program finds its map through its real path, so it still reads the
# map beside itself when started through a link. Tests, benchmarks and the
# static libraries are not installed.
#
#   cmake --install <build>            into CMAKE_INSTALL_PREFIX
#   cpack -G DEB --config <build>/CPackConfig.cmake
#                                      regdiag_<version>_<arch>.deb, for /usr

set(REGDIAG_PROGRAMS regdiag regdiag-sim regdiag-cli)
install(TARGETS ${REGDIAG_PROGRAMS} RUNTIME DESTINATION ${REGDIAG_INSTALL_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/resources/tabdefs.csv DESTINATION ${REGDIAG_INSTALL_DIR})

# The links point from the bin folder to the programs' folder, relatively,
# so they hold wherever the prefix is.
file(RELATIVE_PATH REGDIAG_BIN_TO_PROGRAMS /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${REGDIAG_INSTALL_DIR})
set(REGDIAG_LAUNCHER_DIR ${CMAKE_BINARY_DIR}/launchers)
file(MAKE_DIRECTORY ${REGDIAG_LAUNCHER_DIR})
foreach(program ${REGDIAG_PROGRAMS})
  file(CREATE_LINK ${REGDIAG_BIN_TO_PROGRAMS}/${program} ${REGDIAG_LAUNCHER_DIR}/${program} SYMBOLIC)
  install(FILES ${REGDIAG_LAUNCHER_DIR}/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

# regdiag-cli's man page and bash completion, made from its command table at
# build time (src/cli): `man regdiag-cli`, and Tab after regdiag-cli.
install(FILES ${CMAKE_BINARY_DIR}/src/cli/regdiag-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/src/cli/regdiag-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME regdiag-cli)

install(FILES ${CMAKE_SOURCE_DIR}/packaging/regdiag.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/regdiag.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
install(FILES ${CMAKE_SOURCE_DIR}/resources/regdiag.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# udev reads rules from /usr/lib/udev/rules.d (and /etc/udev/rules.d), not
# from under /usr/local: there the README has the rule copied by hand.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/70-regdiag.rules DESTINATION lib/udev/rules.d)

# --- The Debian package -----------------------------------------------------
set(REGDIAG_PACKAGE_MAINTAINER "regdiag maintainers <regdiag@localhost>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME regdiag)
set(CPACK_PACKAGE_VENDOR regdiag)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "regdiag reads and writes the 8-bit registers of an I2C peripheral chip\n"
    "on an evaluation board, reached through a USB-to-I2C bridge (USB\n"
    "4b7c:2005), on pages defined by a register map file, and logs every\n"
    "transaction. regdiag-sim is the same window on a simulated bridge;\n"
    "regdiag-cli reads, writes, dumps, saves, loads, compares and replays\n"
    "registers from scripts, on either bridge.\n"
    "A udev rule gives the logged-in user access to the bridge.")
set(CPACK_PACKAGE_CONTACT "${REGDIAG_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME regdiag)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${REGDIAG_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps (package dpkg-dev; CPack
# also runs the file utility) and are added to this one: the font the
# window names for "Log:" (it brings the default face's fonts-dejavu-core).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-extra")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
                                       ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
