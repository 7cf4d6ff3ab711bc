#pragma once

// The Windows headers, included in the one order that works (Windows Sockets 2 before windows.h).
// Only the Win32 backend includes this file; the build defines WIN32_LEAN_AND_MEAN and NOMINMAX.

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <memory>
#include <string>
#include <string_view>

namespace webtessl::win32 {

// Closes a kernel handle when it goes. Owns the handle; null and INVALID_HANDLE_VALUE own nothing.
struct THandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
using TUniqueHandle = std::unique_ptr<void, THandleCloser>;

// Bytes in the system code page from UTF-16 text of the system, and back; the conversions of the
// code-page layer, for the backend's own use. A character the code page lacks becomes "?".
std::string FromWide(std::wstring_view text);
std::wstring ToWide(std::string_view text);

// The Windows name of a locale, also when written the POSIX way: "de_DE.UTF-8@euro" is "de-DE".
std::wstring WindowsLocaleName(std::string_view localeName);

}  // namespace webtessl::win32
