#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// The text with every control character written as "\x" and two hexadecimal digits, so that
// bytes from the network cannot move a terminal's cursor, start an escape sequence or forge a
// line of their own when the text is shown: codes 0 to 31, 127, and the UTF-8 forms of the
// codes 128 to 159 (which some terminals also obey). Every other byte is kept. Pure and
// thread-safe.
std::string EscapeControlBytes(std::string_view text);

}  // namespace webtessl
