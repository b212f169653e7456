# A Debian package of the installed tree: `cpack -G DEB` in a Release build folder.
set(CPACK_PACKAGE_NAME zandrel)
set(CPACK_PACKAGE_VENDOR "Zandrel developers")
set(CPACK_PACKAGE_CONTACT "Zandrel developers <zandrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "zip, upload and mail a project folder from the command line")
set(CPACK_PACKAGE_DESCRIPTION "Zandrel packs a project's files into a ZIP archive, uploads it over FTP, HTTP or to a shared folder behind a progress dialog with Cancel, or mails it. The webcopy tool runs transfer jobs described in JSON.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded when a share or an SFTP server is first used, so the linker's list does not show them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsmbclient, libssh-4")
# The shared libraries the programs and modules share are ours and live in the package itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  "${CMAKE_INSTALL_PREFIX}/${ZANDREL_INSTALL_MODULEDIR}")
set(CPACK_GENERATOR DEB)
include(CPack)
