# Installing the native programs and packing them as a Debian package with CMake's own packager:
#   cmake --install <build> [--prefix <dir>]     bin/kolvane, kolvane-check, kolvane-remove, man pages
#   cpack -G DEB (in <build>)                     kolvane_<version>_<arch>.deb for /usr

# The man pages, compressed as Debian installs them.
set(kolvane_man_pages)
foreach(page kolvane.1 kolvane-check.1 kolvane-remove.1)
    set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/man/${page}
                ${CMAKE_BINARY_DIR}/man/${page}
        COMMAND gzip -9 -n -f ${CMAKE_BINARY_DIR}/man/${page}
        DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page}
        VERBATIM)
    list(APPEND kolvane_man_pages ${compressed})
endforeach()
add_custom_target(kolvane_man_pages ALL DEPENDS ${kolvane_man_pages})
install(FILES ${kolvane_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(KOLVANE_PACKAGE_MAINTAINER "Kolvane developers <kolvane@example.org>"
    CACHE STRING "The maintainer named in the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "installer for add-on packages of a railway simulation run under Wine")
set(CPACK_PACKAGE_DESCRIPTION
    "kolvane installs an add-on package of models into an installation of the host
railway simulation (Halmdor, Pellimar 2 or Brannock) kept in a Wine prefix,
with the package's dialog in the terminal. It reads the host's registry
entries from the prefix without starting Wine and finds prefixes made by
Wine, Bottles, Lutris, PlayOnLinux and Steam by itself.

kolvane-check reports what in a package would surprise its users, and what an
installation into the installed host would do. kolvane-remove takes an
installation back by the record that both installers keep.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KOLVANE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are those of the programs as linked: dpkg-shlibdeps (dpkg-dev) finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS wine)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
