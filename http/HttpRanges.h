#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

namespace webtessl {

// A byte range of a response body: the first byte and the number of bytes.
struct THttpByteRange {
  int64_t First = 0;
  int64_t Count = 0;
};

// Reads a "Range" header value against a body of the given size (hasSize false: size unknown).
// Accepts one range counted in bytes ("first-last", "first-" and "-suffix"); false for any other
// form, several ranges included. Stateless, so thread-safe.
bool ParseRange(std::string_view rangeText, bool hasSize, int64_t size, THttpByteRange& range);

// The bytes from the stream's position to its end; the position is kept. 64-bit throughout.
int64_t StreamRemaining(std::istream& stream);

// Moves the stream's position forward by count bytes, in steps the stream can take.
void StreamSkip(std::istream& stream, int64_t count);

// The default path for cookies without one: the request URI's folder without its trailing
// slash, "/" for the root. Stateless, so thread-safe.
std::string CookiePathFromUri(std::string_view uri);

}  // namespace webtessl
