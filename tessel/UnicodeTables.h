#pragma once

#include <cstddef>
#include <iterator>

namespace webtessl {

// Tables of Unicode character properties, generated from the Unicode data files by
// tools/gen-unicode-tables.py (tessel/UnicodeTables.cpp). Immutable, so thread-safe.

// A character and what it maps to.
struct TCodeMapping {
  char32_t from;
  char32_t to;
};

// A run of characters, both ends included.
struct TCodeRange {
  char32_t first;
  char32_t last;
};

// The simple case fold of every character that has one, ordered by `from`.
extern const TCodeMapping kSimpleCaseFolds[];
extern const size_t kSimpleCaseFoldCount;

// The characters that make up words (letters, combining marks, digits and other numbers), as
// ordered, disjoint, non-adjacent ranges.
extern const TCodeRange kWordCharacterRanges[];
extern const size_t kWordCharacterRangeCount;

}  // namespace webtessl
