# The packages: the Windows zip from the cross build here (its notices come from the library
# archives and Debian's copyright files), the Debian package on Linux.
if(WIN32)
  if(CMAKE_CROSSCOMPILING)
    include(${CMAKE_CURRENT_LIST_DIR}/windows_zip.cmake)
  endif()
  return()
endif()

# The Debian package, made by `cpack -G DEB` in the build folder from what `cmake --install`
# installs: glowview_<version>_amd64.deb, its dependencies found from the binary.
set(CPACK_PACKAGE_NAME glowview)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the glowview developers")
set(CPACK_PACKAGE_CONTACT "${GLOWVIEW_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "picture viewer with a tunable glow")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The package's description: the summary is its first line, these lines the rest.
set(CPACK_PACKAGE_DESCRIPTION
"glowview shows one PNG, JPEG or WebP picture in an OpenGL window, one texel
per pixel, and adds a glow to every pixel that the keyboard tunes: the weight
of red, green and blue and the strength of the glow. Large pictures are read
beside the window; panoramas are dragged or scrolled, and a key saves the
whole picture with its glow as a PNG.")
# The desktop database and the icon cache are brought up to date by their tools' file
# triggers on these folders.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/data/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Debian's layout inside the package: compressed manual page and changelog.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian_layout.cmake)
set(CPACK_GENERATOR DEB)
include(CPack)
