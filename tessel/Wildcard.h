#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace webtessl {

// A file-name pattern: "*" stands for any run of characters (none included), "?" for exactly one
// UTF-8 character, every other byte for itself. Matching takes time proportional to the name's
// length times the pattern's, whatever the pattern (runs of "*" count as one). Thread-safe
// because immutable.
class TWildcard {
 public:
  explicit TWildcard(std::string_view pattern);

  // Whether the whole text matches the pattern.
  bool Matches(std::string_view text) const;

  // The longest run of plain bytes in the pattern: every matching text contains it.
  std::string_view LongestLiteral() const;
  // The fewest bytes a matching text can have.
  size_t MinLength() const { return minLength_; }

 private:
  // The pieces between the "*": plain bytes and "?".
  std::vector<std::string> segments_;
  bool anchoredStart_ = true;  // no "*" in front
  bool anchoredEnd_ = true;    // no "*" at the end
  size_t minLength_ = 0;
};

}  // namespace webtessl
