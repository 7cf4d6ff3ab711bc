# Installation. On Linux: the programs and their web page together in one private folder
# (lib/webtessl), because the server serves the webroot beside its own executable and starts
# tessel from beside itself; a link to the server in bin; the systemd user unit, the manual page,
# the README and a sample configuration. The Windows build gets its installer target instead.

file(STRINGS ${CMAKE_SOURCE_DIR}/app/ProgramInfo.h webtessl_version_line
     REGEX "kProgramVersion\\[\\] = \"[^\"]+\"")
string(REGEX REPLACE ".*\"([^\"]+)\".*" "\\1" WEBTESSL_VERSION "${webtessl_version_line}")

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsInstaller.cmake)
  return()
endif()

set(WEBTESSL_PRIVATE_DIR lib/webtessl)
set(WEBTESSL_DOC_DIR share/doc/webtessl)
set(webtessl_packaging_out ${CMAKE_BINARY_DIR}/packaging)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS webtessl RUNTIME DESTINATION ${WEBTESSL_PRIVATE_DIR})
if(TARGET tessel)
  install(TARGETS tessel RUNTIME DESTINATION ${WEBTESSL_PRIVATE_DIR})
endif()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/webroot/ DESTINATION ${WEBTESSL_PRIVATE_DIR}/webroot)

# bin/webtessl: a relative link, so the installed tree may be moved or unpacked anywhere.
file(MAKE_DIRECTORY ${webtessl_packaging_out}/bin)
file(CREATE_LINK ../${WEBTESSL_PRIVATE_DIR}/webtessl ${webtessl_packaging_out}/bin/webtessl SYMBOLIC)
install(FILES ${webtessl_packaging_out}/bin/webtessl DESTINATION bin)

# The unit names the server by its absolute path, so it is written with the prefix of the
# installation itself (cmake --install --prefix may name another than the one configured).
install(CODE "
  set(WEBTESSL_BIN \"\${CMAKE_INSTALL_PREFIX}/bin/webtessl\")
  configure_file(\"${CMAKE_SOURCE_DIR}/packaging/webtessl.service.in\"
                 \"${webtessl_packaging_out}/webtessl.service\" @ONLY)
")
install(FILES ${webtessl_packaging_out}/webtessl.service DESTINATION lib/systemd/user)

# The manual page and the change log go compressed, as Debian's tools expect them.
find_program(WEBTESSL_GZIP gzip REQUIRED)
configure_file(${CMAKE_SOURCE_DIR}/packaging/webtessl.1.in ${webtessl_packaging_out}/webtessl.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${webtessl_packaging_out}/changelog @ONLY)
set(webtessl_compressed_docs "")
foreach(document webtessl.1 changelog)
  add_custom_command(OUTPUT ${webtessl_packaging_out}/${document}.gz
    COMMAND ${WEBTESSL_GZIP} -9 -n -f -k ${webtessl_packaging_out}/${document}
    DEPENDS ${webtessl_packaging_out}/${document}
    VERBATIM)
  list(APPEND webtessl_compressed_docs ${webtessl_packaging_out}/${document}.gz)
endforeach()
add_custom_target(webtessl_docs ALL DEPENDS ${webtessl_compressed_docs})

install(FILES ${webtessl_packaging_out}/webtessl.1.gz DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/copyright
              ${webtessl_packaging_out}/changelog.gz
        DESTINATION ${WEBTESSL_DOC_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/config.ini DESTINATION ${WEBTESSL_DOC_DIR}/examples)

include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)
