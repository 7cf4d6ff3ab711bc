#pragma once

#include <string_view>

namespace webtessl {

// Small byte-text helpers shared by the protocol code. Header names, parameter names, month names
// and file extensions are compared without regard to ASCII letter case; white space is every
// character code from 0 to 32 (control characters and the blank). Thread-safe: no state.

// True for character codes 0 to 32.
constexpr bool IsWhiteSpace(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

// The text without white space at either end.
std::string_view Trim(std::string_view text);

// The text without white space at its end.
std::string_view TrimRight(std::string_view text);

// ASCII case-insensitive equality of the whole texts.
bool SameText(std::string_view a, std::string_view b);

// True when the text begins with the prefix, ASCII case-insensitive.
bool StartsWithText(std::string_view text, std::string_view prefix);

// ASCII case-insensitive ordering (negative, 0, positive), for ordered tables keyed by names.
int CompareText(std::string_view a, std::string_view b);

}  // namespace webtessl
