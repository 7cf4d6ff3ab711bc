#pragma once

#include <cstdint>

#include "platform/win32/WinApi.h"

namespace webtessl::win32 {

// Reads at most count bytes of the file from the offset into the buffer; got counts them, 0 at or
// past the end of the file. Returns 0 or the system's error code. The file is opened for
// overlapped reads (as TFileStream opens it), or not: an overlapped handle keeps no position of
// its own, so the read moves none. Not for concurrent reads of one overlapped handle, whose
// completion is awaited on the handle itself.
DWORD ReadAtOffset(HANDLE file, void* buffer, DWORD count, int64_t offset, DWORD& got);

}  // namespace webtessl::win32
