# The Windows installer (`make windows-installer`, or the target windows-installer of the mingw-w64
# build folder): makensis runs packaging/windows/webtessl.nsi over the executables and webroot of
# this build folder and writes webtessl-<version>-setup.exe beside them.

find_program(WEBTESSL_MAKENSIS makensis)
if(NOT WEBTESSL_MAKENSIS)
  message(STATUS "makensis not found: no windows-installer target (tools/install-deps.sh installs nsis)")
  return()
endif()

set(WEBTESSL_INSTALLER ${CMAKE_BINARY_DIR}/webtessl-${WEBTESSL_VERSION}-setup.exe)
add_custom_target(windows-installer
  COMMAND ${WEBTESSL_MAKENSIS} -V2 -DVERSION=${WEBTESSL_VERSION} -DPROGRAM_DIR=${CMAKE_BINARY_DIR}
          -DOUT_FILE=${WEBTESSL_INSTALLER} ${CMAKE_SOURCE_DIR}/packaging/windows/webtessl.nsi
  BYPRODUCTS ${WEBTESSL_INSTALLER}
  COMMENT "Building the Windows installer ${WEBTESSL_INSTALLER}"
  VERBATIM)
add_dependencies(windows-installer webtessl tessel)
