#pragma once

#include <string_view>

namespace webtessl::win32 {

// Whether the path names one file or folder literally, as every file call of the backend
// requires: no NUL, no wildcard, no device name segment ("CON", "nul.txt", "COM1 "), no path in
// the device namespace ("\\.\pipe\x"), and no colon but the drive's, which would name a stream
// of a file instead of its content. Thread-safe.
bool IsLiteralPath(std::string_view path);

}  // namespace webtessl::win32
