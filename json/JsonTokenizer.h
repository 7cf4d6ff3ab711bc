#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "json/SuperObjectRef.h"

namespace webtessl {

// Parses the first JSON value of a UTF-16 text in the lenient mode: comments, single-quoted
// strings, bare names and bare words, trailing commas, "\x" escapes; values at most 31 levels
// deep. The text ends at its first NUL; whatever follows the first complete value is not looked
// at. Any error gives none. An empty text gives the empty string value; "{}" gives a new empty
// object. Thread-safe (each call has its own state).
ISuperObject ParseJsonText(std::u16string_view text);

// The parser behind ParseJsonText: a recursive descent over the text whose depth is bounded by
// the nesting limit, so no input can exhaust the stack. One text per tokenizer; not thread-safe.
class TSuperTokenizer final {
 public:
  explicit TSuperTokenizer(std::u16string_view text);
  TSuperTokenizer(const TSuperTokenizer&) = delete;
  TSuperTokenizer& operator=(const TSuperTokenizer&) = delete;

  ISuperObject ParseFirstValue();  // the first value of the text, or none on an error

 private:
  // Where a value stands decides where a bare word ends.
  enum class Place { Top, Array, Object };
  // The deepest level a value may lie at; the top value is at level 0.
  static constexpr int kMaxLevel = 31;

  bool AtEnd() const { return pos_ >= text_.size(); }
  bool SkipBlanks();  // whitespace and comments; false on a bad or unclosed comment
  ISuperObject ParseValue(int level, Place place);
  ISuperObject ParseArray(int level);
  ISuperObject ParseObject(int level);
  ISuperObject ParseNumber();
  ISuperObject ParseLiteral();  // null, true or false; none when the word is not a literal
  ISuperObject ParseBareWord(Place place);
  bool ParseMemberName(std::u16string& name);
  bool ParseQuoted(std::u16string& text);
  bool ParseBareName(std::u16string& name);
  bool ParseEscape(std::u16string& text);
  bool ParseHex(size_t digits, std::u16string& text);

  std::u16string_view text_;
  size_t pos_ = 0;
};

}  // namespace webtessl
