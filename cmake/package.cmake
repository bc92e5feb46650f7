# The Debian package (CPack's DEB generator; scripts/package.sh runs it):
# what `cmake --install` installs, under /usr. Its Depends are computed by
# dpkg-shlibdeps from the libraries the two binaries link, plus the programs
# the product needs at run time that no binary links.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvalin)
set(CPACK_PACKAGE_VERSION "${MORVALIN_VERSION}")
set(CPACK_PACKAGE_VENDOR "Morvalin")
set(CPACK_PACKAGE_CONTACT "Morvalin developers <morvalin@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "rescue tool for Windows installations locked by screen-locker malware")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Finds the Windows XP to 11 installations on the mounted volumes, opens their\n"
    "registry hives offline with its own hive engine, heals the places screen\n"
    "lockers use (Winlogon shell and userinit, user policies that block Task\n"
    "Manager, the registry editor and the command line, autoruns, hosts) and\n"
    "writes the hives back crash-safely. morvalin-cli is the command line,\n"
    "morvalin the windows (Qt 6).")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ntfs-3g: NTFS volumes read-write with their Windows attributes; fonts-wine:
# the windows are laid out for Tahoma's metrics.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ntfs-3g, fonts-wine")
# What the stand-ins in lib/morvalin/tools start where they are there.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xterm | x-terminal-emulator, htop, mc")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")
include(CPack)
