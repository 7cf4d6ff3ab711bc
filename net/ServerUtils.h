#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string_view>

namespace webtessl {

class TTCPBlockSocket;

// Largest piece that SendStreamData reads and sends at once.
inline constexpr int32_t kSendStreamBufferSize = 16384;
// The count SendStreamData uses for "until the stream ends" (a negative count): 2^40 bytes.
inline constexpr int64_t kSendStreamUnlimited = int64_t{1} << 40;

// Sends count bytes of the stream from its current position (a negative count: until it ends)
// in pieces of at most 16384 bytes; chunked frames each piece as an HTTP/1.1 chunk and ends
// with the last-chunk marker. Without chunks, a file stream (TFileStream) is sent by the system
// straight from the file. True when that part of the stream was sent; false on a socket
// error (see the socket's LastErrorCode) or a failed stream read. Thread of the socket's owner.
bool SendStreamData(TTCPBlockSocket& socket, std::istream& stream, bool chunked, int64_t count);

// True when both texts have the same length and are equal ignoring ASCII letter case.
// Thread-safe.
bool SameTextExact(std::string_view first, std::string_view second);

// Clears the reference first, then destroys the object it held, ignoring any error that its
// destruction raises.
template <typename T>
void FreeAndNilQuiet(std::unique_ptr<T>& object) {
  T* const held = object.release();
  try {
    // Not through unique_ptr::reset, which is noexcept and would end the process.
    std::default_delete<T>()(held);
  } catch (...) {
    // The caller asked for a quiet release.
  }
}

}  // namespace webtessl
