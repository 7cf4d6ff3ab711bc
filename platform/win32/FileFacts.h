#pragma once

#include "platform/FileSystem.h"
#include "platform/win32/WinApi.h"

namespace webtessl::win32 {

// The facts of a file from what the system reports of it (by name, by search or by handle):
// a folder, a regular file with its size, or another kind (a device); the last write time.
TFileFacts FactsOf(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME& written);

}  // namespace webtessl::win32
