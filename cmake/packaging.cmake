# A Debian package of the installed programs: `cpack -G DEB` in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME postvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Postvane maintainers <maintainers@postvane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "POP3 mail checker in the notification area")
set(CPACK_PACKAGE_DESCRIPTION
  "Postvane watches up to ten POP3 mailboxes from the notification area. It counts\n\
the messages that are new since each mailbox was last acknowledged and fetches\n\
only their headers: it never downloads a message body and never deletes\n\
anything. The package also holds postvane-check, which runs one check from the\n\
command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from the shared libraries the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without it the documents would not be owned by root in every tar writer.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
