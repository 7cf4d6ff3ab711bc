#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace webtessl {

// The runtime's 64-bit integer text rule: optional leading blanks, an optional sign, then decimal
// digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X" (taken as a 64-bit pattern),
// and nothing after them. Empty when the text does not convert. Stateless, so thread-safe.
std::optional<int64_t> TryStrToInt64(std::string_view text);

// TryStrToInt64, or defaultValue when the text does not convert. Thread-safe.
int64_t StrToInt64Def(std::string_view text, int64_t defaultValue);

}  // namespace webtessl
