#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// The text routines that cut header lines, header values, parameter lists and query strings apart.
// All text is byte text in the system code page; white space is every character code from 0 to 32;
// names compare without regard to ASCII letter case. None of them raises on malformed text: it
// gives empty results or false. Thread-safe: no state.
//
// Routines that consume their input take it as a std::string_view that they narrow in place: the
// view keeps pointing into the caller's text, which must outlive it.

// What separates a header's name from its value in a stored header line.
constexpr std::string_view kHeaderNameSeparator = ": ";

// A received header line in its stored form "Name: value" (one blank after the colon); a line
// without a usable colon is only trimmed. The empty line stays empty.
std::string NormalizeHeaderLine(std::string_view line);

// The piece of `count` characters starting at the 0-based offset `from` (cut off at the end of the
// text), with white space removed from both ends of the piece.
std::string TrimCopy(std::string_view text, size_t from, size_t count);

// Cuts the text at the first occurrence of the delimiter: returns the trimmed head and leaves the
// trimmed rest in `text`. Without the delimiter: returns the trimmed text and leaves `text` empty.
std::string FetchTrimmed(std::string_view& text, std::string_view delimiter);

// Returns the next item of a list separated by the delimiter, skipping delimiters inside
// double-quoted strings (where a backslash escapes the next character). The item is trimmed and
// keeps its quotes; the delimiter and every white space or delimiter after it are consumed.
std::string NextItem(std::string_view& text, char delimiter);

// Reads the next parameter of a "name=value; name2=\"value 2\"" list (separated by ";" or ","):
// a name with its value (unquoted and unescaped), or a bare value with an empty name. False, with
// everything emptied, when only white space is left.
bool NextParam(std::string_view& text, std::string& name, std::string& value);

// The value of the first parameter of the list with the given name, "" when there is none.
std::string FindParam(std::string_view text, std::string_view name);

// The text in double quotes, with a backslash before every double quote and every backslash.
std::string QuoteString(std::string_view text);

}  // namespace webtessl
