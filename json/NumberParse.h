#pragma once

#include <string_view>

#include "json/SuperObjectRef.h"

namespace webtessl {

// The value of a number's collected characters (digits, "+", "-", ".", "E", "e"): an integer
// when there is neither a point nor an exponent; a currency value when there is a point with at
// most four decimals and no exponent; a double otherwise, or when an integer or currency value
// would not fit in 64 bits. Malformed text (such as "-", "1-2", "1e", "1.2.3") gives none.
// Thread-safe.
ISuperObject NumberFromText(std::string_view text);

}  // namespace webtessl
