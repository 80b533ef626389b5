# The Debian package: cpack -G DEB (./build.sh package) writes
# quillmate_<version>_<arch>.deb. Depends come from dpkg-shlibdeps, plus the
# Qt SQLite driver that the chat log loads as a plug-in.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmate)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quillmate developers")
set(CPACK_PACKAGE_CONTACT "${QLM_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QLM_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "messenger for a local network, without a server")
# CPack puts the summary on the first line and indents this text itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quillmate is a messenger for the computers of a local network. Every
workstation runs one instance; instances find each other by UDP multicast or
broadcast and keep a list of who is online, with nicknames, Online/Busy/Away
states and user groups. Nothing runs on a server.

Messages go to one user, several users or everybody, with rich text,
pictures and emoticons; files and folders are sent with progress; a
searchable chat log keeps everything. The package also holds quillmate-cli,
a command-line front and headless node, with a systemd user unit for it.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QLM_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
