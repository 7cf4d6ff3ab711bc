#pragma once

#include <cstddef>
#include <string_view>

namespace webtessl {

// True when both texts hold the same bytes. Every byte is looked at whatever the texts hold, so
// the time taken tells nothing about where they differ (only whether their lengths do). For
// secrets: password hashes, credentials. Pure and thread-safe.
inline bool SameBytesInConstantTime(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return difference == 0;
}

}  // namespace webtessl
