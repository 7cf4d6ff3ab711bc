#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace webtessl {

// The integer text rule shared by settings and query values: optional leading spaces, an optional
// sign, then decimal digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X", and nothing
// after them. A hexadecimal value that fits in 32 bits is taken as a 32-bit pattern ("$FFFFFFFF"
// is -1). All functions here are pure and thread-safe.

// The value of the text, or nothing when the text does not follow the rule or a decimal value
// lies outside the 32-bit signed range.
std::optional<int32_t> TryStrToInt(std::string_view text);

// The value of the text, or defaultValue when TryStrToInt gives nothing.
int32_t StrToIntDef(std::string_view text, int32_t defaultValue);

}  // namespace webtessl
