# The Debian package, built by `cpack` in the build folder: kelvra23_<version>_<arch>.deb.
# Included from the top-level CMakeLists.txt after every install rule.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvra23)
set(CPACK_PACKAGE_VENDOR "Kelvra 23 developers")
set(CPACK_PACKAGE_CONTACT "Kelvra 23 developers <kelvra23@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Kelvra 23 shows the frames of a grey-scale camera on a serial port as a 3D relief: a \
cloud of 128 x 123 points in an OpenGL view, where each pixel's brightness sets the point's \
grey level and height. It records live frames, saves and loads single frames and plays a \
recorded series as a movie.\n\
\n\
The package also holds kelvra-camsim, a camera simulator on a pseudo-terminal, and \
kelvra-frame, which converts frame files to and from standard images.")
# The package installs under /usr whatever CMAKE_INSTALL_PREFIX a build folder has.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# RelWithDebInfo binaries carry their debug information; the package does not.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Runtime dependencies come from dpkg-shlibdeps on the installed binaries, so they follow
# whatever the programs actually link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
