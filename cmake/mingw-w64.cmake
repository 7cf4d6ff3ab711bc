# Cross build of the Windows executables with Debian's mingw-w64 (64-bit, POSIX thread model, so
# that the standard library's threads and mutexes are there). Use:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(WEBTESSL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${WEBTESSL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WEBTESSL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${WEBTESSL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${WEBTESSL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
