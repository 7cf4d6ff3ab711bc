#pragma once

#include <optional>
#include <string>

namespace webtessl {

// The user's regional number format. Thread-safe.

// The decimal separator of the user's locale, read once at first use without touching the
// process's global locale; "." when the locale names none.
char DecimalSeparator();

// The decimal separator of the named locale ("" for the user's own), or nothing when the system
// does not have that locale.
std::optional<char> DecimalSeparatorOfLocale(const std::string& localeName);

}  // namespace webtessl
