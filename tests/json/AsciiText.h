#pragma once

#include <string>
#include <string_view>

namespace webtessl::testing_json {

// UTF-16 text as bytes for readable assertions: ASCII as it is, anything else as "?".
inline std::string Ascii(std::u16string_view text) {
  std::string result;
  for (const char16_t c : text) result += c < 0x80 ? static_cast<char>(c) : '?';
  return result;
}

// ASCII bytes widened to UTF-16.
inline std::u16string Wide(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

}  // namespace webtessl::testing_json
