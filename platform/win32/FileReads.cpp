#include "platform/win32/FileReads.h"

namespace webtessl::win32 {

DWORD ReadAtOffset(HANDLE file, void* buffer, DWORD count, int64_t offset, DWORD& got) {
  got = 0;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
  at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  if (::ReadFile(file, buffer, count, &got, &at) != FALSE) return 0;
  DWORD error = ::GetLastError();
  if (error == ERROR_IO_PENDING) {
    error = ::GetOverlappedResult(file, &at, &got, TRUE) != FALSE ? 0 : ::GetLastError();
  }
  if (error == ERROR_HANDLE_EOF) {
    got = 0;
    return 0;
  }
  return error;
}

}  // namespace webtessl::win32
