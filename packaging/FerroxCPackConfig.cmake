# SPDX-License-Identifier: GPL-3.0-or-later
# CPack configuration of the two Debian packages, read by
# scripts/build-packages.sh as "cpack --config" with FERROX_BUILD_DIR (an
# absolute path to a configured and built tree) and FERROX_PACKAGE_DIR (where
# the packages go) in the environment.
#
#   ferrox-cli  the command-line program, its manual page and bash completion;
#               no toolkit, for servers and scripts
#   ferrox      the window, its launcher, icons and AppStream description;
#               depends on ferrox-cli
if(NOT DEFINED ENV{FERROX_BUILD_DIR} OR NOT DEFINED ENV{FERROX_PACKAGE_DIR})
  message(FATAL_ERROR "FERROX_BUILD_DIR and FERROX_PACKAGE_DIR must be set")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_CMAKE_GENERATOR Ninja)
set(CPACK_INSTALL_CMAKE_PROJECTS "$ENV{FERROX_BUILD_DIR};Ferrox;ALL;/")
set(CPACK_PACKAGE_DIRECTORY "$ENV{FERROX_PACKAGE_DIR}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR OFF)
set(CPACK_STRIP_FILES ON)
# Directories 0755 whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_PACKAGE_NAME ferrox)
set(CPACK_PACKAGE_VENDOR "The Ferrox Developers")
set(CPACK_PACKAGE_CONTACT "Ferrox Developers <ferrox@ferrox.github.io>")
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_VERSION_MAJOR 1)
set(CPACK_PACKAGE_VERSION_MINOR 0)
set(CPACK_PACKAGE_VERSION_PATCH 0)
set(CPACK_PACKAGE_FILE_NAME ferrox-1.0.0)
set(CPACK_PACKAGE_HOMEPAGE_URL https://github.com/ferrox/ferrox)
# Each package has a description of its own below; this one only satisfies
# CPack's check for a project description.
set(CPACK_PACKAGE_DESCRIPTION "Ferrox copies files and folder trees from network shares, resuming after connection drops.")

set(CPACK_COMPONENTS_ALL cli gui)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENT_GUI_DEPENDS cli)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE ferrox)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ferrox Developers <ferrox@ferrox.github.io>")
# The libraries the programs link against, found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ferrox's dependency on ferrox-cli of the same version, from the components.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_CLI_PACKAGE_NAME ferrox-cli)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION net)
set(CPACK_COMPONENT_CLI_DESCRIPTION
"resuming copier for files and folder trees on network shares
ferrox-cli copies files and whole folder trees, typically from network
shares, into a local folder, and keeps going when the connection drops.
It lists each tree before copying it, copies in large blocks, skips files
that are already complete, resumes partial copies by appending to them,
reconnects within a time limit after read failures, can verify every
4096-byte page by re-reading it, and keeps a CRC-32 of everything it
copied. It reads SMB shares itself, without mounting them.
.
This package holds the command-line program, for servers and scripts; it
needs no graphical toolkit.")

set(CPACK_DEBIAN_GUI_PACKAGE_NAME ferrox)
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_GUI_DESCRIPTION
"resuming copier for network shares - desktop window
Ferrox copies files and whole folder trees, typically from network shares,
into a local folder, and keeps going when the connection drops: files that
are already complete are skipped and partial ones are continued. It reads
SMB shares itself, without mounting them, and can verify every page it
copies by re-reading it.
.
This package holds the window, ferrox, with its launcher and icons.")
