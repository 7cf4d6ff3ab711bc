#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// Decodes a raw query value as browsers send it, giving its bytes. Pure and thread-safe.
// Percent escapes first, left to right: "%" and two hexadecimal digits become that byte; "%"
// followed by LF or CR is dropped with that character and one directly following partner (CR
// after LF, LF after CR); a "%" among the last two characters ends the decoding and is dropped
// with what follows; any other "%" stays. A "+" as sent is a space, while an escaped one ("%2B")
// stays a "+", so that names holding "+" survive a round trip through a link or a form.
std::string DecodeQueryValue(std::string_view raw);

}  // namespace webtessl
