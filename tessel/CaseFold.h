#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// Case folding of UTF-8 names for case-insensitive search: every character is replaced by its
// Unicode simple case fold, so that two spellings that differ only in letter case fold to the same
// bytes, in every script (the fold may differ in length: "ẞ" folds to "ß", the Kelvin sign to
// "k"). Bytes that do not form valid UTF-8 are copied unchanged, one at a time, so any byte
// string folds without loss of position. Thread-safe (pure functions).

// Appends the fold of text to out.
void AppendFolded(std::string_view text, std::string& out);

// The fold of text.
std::string FoldCase(std::string_view text);

// True when the code point starting at text[pos] is a word character: a letter, a combining mark
// or a number (Unicode general categories L, M and N); everything else separates words (bytes that are not valid
// UTF-8 count as letters: they are most likely part of a name in another encoding).
bool IsWordCharAt(std::string_view text, size_t pos);

// True when the code point ending just before text[end] is a word character.
bool IsWordCharBefore(std::string_view text, size_t end);

// Length in bytes of the UTF-8 sequence starting at text[pos]: 1 for ASCII and for bytes that do
// not start a valid sequence.
size_t Utf8SequenceLength(std::string_view text, size_t pos);

}  // namespace webtessl
