# The Debian package: `cpack -G DEB` in the build folder (scripts/package) makes
# vostrand-uploader_<version>_amd64.deb of everything `cmake --install` puts under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vostrand-uploader)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Vostrand)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "upload files to the Vostrand file-hosting service")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A desktop window that uploads files to a Vostrand service through the service's web pages, "
    "with a queue, per-file options, progress and the download links. Beside it come a "
    "command-line uploader, vostrand-upload, and a self-hosted service, vostrand-service, with a "
    "systemd user unit.")
set(VOSTRAND_MAINTAINER "Vostrand Uploader developers <maintainers@vostrand-uploader.example>"
    CACHE STRING "the package's Maintainer field")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VOSTRAND_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VOSTRAND_HOMEPAGE}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The libraries the programs link come from dpkg-shlibdeps; what Qt loads at run time as plugins
# it cannot see: a platform plugin to show the window at all, and the SVG reader for its icons.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
include(CPack)
