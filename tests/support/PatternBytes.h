#pragma once

#include <cstddef>
#include <string>

namespace webtessl::testing_support {

// Bytes that differ from their neighbours, so that a shifted, repeated or lost block shows.
inline std::string PatternBytes(std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  }
  return bytes;
}

}  // namespace webtessl::testing_support
