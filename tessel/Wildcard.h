#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace webtessl {

// A file-name pattern: "*" stands for any run of characters (none included), "?" for exactly one
// UTF-8 character, every other byte for itself. Matching reads the name once, byte by byte, and
// follows every way the pattern could match at the same time (no backtracking), so its time is
// linear in the name's length for any pattern: a few word operations per byte for each 64
// characters of the pattern. Thread-safe because immutable.
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
  // Most patterns ("*.txt", "report*", "*draft*") hold no "?" and stars only at their ends:
  // those are matched by one comparison of their plain bytes.
  enum class TShape { General, Exact, Prefix, Suffix, Contains };

  void ChooseShape(std::string_view pattern);
  bool MatchesShape(std::string_view text) const;

  // Sets of pattern positions: bit j stands for "the first j pattern characters (stars aside)
  // have matched so far".
  using TStates = std::vector<uint64_t>;

  // The pieces between the "*": plain bytes and "?".
  std::vector<std::string> segments_;
  TShape shape_ = TShape::General;
  std::string plain_;  // the plain bytes of a pattern that is not General
  size_t minLength_ = 0;
  size_t positions_ = 0;                 // pattern characters other than "*"
  std::array<TStates, 256> byteSteps_;   // the positions whose character is that byte
  TStates anyCharSteps_;                 // the positions whose character is "?"
  TStates starLoops_;                    // the positions a "*" lets stay on any byte
};

}  // namespace webtessl
