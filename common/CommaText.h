#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace webtessl {

// Splits comma text into its items. Pure and thread-safe.
// Characters with codes 1 to 32 before an item are skipped; an item that starts with a double
// quote runs to the closing quote, two quotes inside standing for one; any other item runs up to
// the next "," or the next character with code 1 to 32; blanks after an item are skipped; a ","
// that ends the text adds a final empty item. A NUL character ends the text.
std::vector<std::string> SplitCommaText(std::string_view text);

}  // namespace webtessl
