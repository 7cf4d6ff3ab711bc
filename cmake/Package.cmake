# The Debian package (cpack -G DEB in the build folder, or `make package`):
# webtessl_<version>_amd64.deb holding what cmake/Install.cmake installs, under /usr.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME webtessl)
set(CPACK_PACKAGE_VERSION ${WEBTESSL_VERSION})
set(CPACK_PACKAGE_VENDOR "WebTessl maintainers")
set(CPACK_PACKAGE_CONTACT "WebTessl maintainers <maintainers@users.noreply.c-seed-b61c3f21.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "search page for the desktop file-name search tool tessel")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"WebTessl is a small HTTP server that puts a web page on tessel, a file-name
search application that runs beside it for the same user and keeps its index
fresh. Search from a browser at http://localhost:20800/, sort the results and
download the files found; the server starts tessel when a search needs it.
.
The package holds both programs, the web page, a systemd user service
(systemctl --user enable --now webtessl), a manual page and a sample
configuration.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are what the programs link against: the C and C++ runtimes only.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
