#pragma once

#include <cstddef>
#include <string_view>

namespace webtessl {

// The position of the first occurrence of needle in text at or after from, or npos. Built for
// long texts (the whole name arena) and short needles: blocks of 16 bytes are tested for the
// needle's first two bytes and its last byte at once, and only the places where all three fit
// are compared.
// Thread-safe (a pure function).
size_t FindSubstring(std::string_view text, std::string_view needle, size_t from);

// The number of times the byte occurs in text, 16 bytes at a time. Thread-safe.
size_t CountByte(std::string_view text, char byte);

}  // namespace webtessl
