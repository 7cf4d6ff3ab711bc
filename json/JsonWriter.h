#pragma once

#include <string>
#include <string_view>

#include "json/SuperObjectRef.h"
#include "json/WriterString.h"

namespace webtessl {

class TSuperObject;
class TSuperTableString;
class TSuperArray;

// Writes values as JSON text into a growing buffer (of bytes when escaping, else of UTF-16). With indent, a line break is CR LF
// followed by one space per nesting level; with escape, every character but ASCII letters and
// digits is escaped, so the text is pure ASCII. A value met again while it is being written (a
// value that holds itself) is skipped. One writer per text; not thread-safe.
class TSuperWriter final {
 public:
  TSuperWriter(bool indent, bool escape);
  TSuperWriter(const TSuperWriter&) = delete;
  TSuperWriter& operator=(const TSuperWriter&) = delete;

  void WriteValue(const TSuperObject& value);  // appends the value's text
  std::u16string TakeText();                   // the text written so far; leaves the writer empty
  // For a writer that escapes: the text written so far as its ASCII bytes, handed over without a
  // copy; leaves the writer empty. Throws std::logic_error for one that does
  // not escape (its text may hold characters beyond ASCII).
  std::string TakeAsciiText();

 private:
  // Whether a member's or an element's value is being written: a value inside itself.
  static bool IsBeingWritten(const ISuperObject& value);
  void WriteNumber(const TSuperObject& value);
  void WriteMembers(const TSuperTableString& members);
  void WriteElements(const TSuperArray& elements);
  void WriteHeld(const ISuperObject& value);  // a member or element; none is written as null
  void WriteQuoted(std::u16string_view text);
  void WriteEscaped(std::u16string_view text);
  void WriteUnescaped(std::u16string_view text);
  void WriteLineBreak();

  const bool indent_;
  const bool escape_;
  int level_ = 0;
  TSuperWriterString text_;
};

// The value's escaped JSON text (pure ASCII, the same bytes in every code page), with or without
// indentation, written straight to bytes.
std::string EscapedJsonBytes(const TSuperObject& value, bool indent);

}  // namespace webtessl
