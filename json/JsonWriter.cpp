#include "json/JsonWriter.h"

#include <array>
#include <charconv>
#include <cmath>
#include <span>
#include <stdexcept>
#include <utility>

#include "json/NumberText.h"
#include "json/SuperValue.h"

namespace webtessl {

namespace {

constexpr std::string_view kNullText = "null";
constexpr std::string_view kLineBreak = "\r\n";
constexpr char kHexDigits[] = "0123456789abcdef";
// The bytes of "\\uXXXX", the longest escape, and of the run escaped texts are gathered in.
constexpr size_t kLongestEscape = 6;
constexpr size_t kEscapeRunBytes = 512;

bool IsAsciiAlphanumeric(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// The letter after the backslash for the characters with a short escape, or 0.
char ShortEscape(char16_t c) {
  switch (c) {
    case u'\b':
      return 'b';
    case u'\t':
      return 't';
    case u'\n':
      return 'n';
    case u'\f':
      return 'f';
    case u'\r':
      return 'r';
    case u'"':
      return '"';
    case u'\\':
      return '\\';
    case u'/':
      return '/';
    default:
      return 0;
  }
}

// Marks a value as being written for the lifetime of the guard.
class ProcessingMark {
 public:
  explicit ProcessingMark(bool& flag) : flag_(flag) { flag_ = true; }
  ~ProcessingMark() { flag_ = false; }
  ProcessingMark(const ProcessingMark&) = delete;
  ProcessingMark& operator=(const ProcessingMark&) = delete;

 private:
  bool& flag_;
};

// Asks the processor to start loading memory that is about to be read.
void PrefetchForRead(const void* address) {
#if defined(__GNUC__)
  __builtin_prefetch(address);
#else
  static_cast<void>(address);
#endif
}

// Writing a large array is bound by memory latency, since every element and member value is an
// allocation of its own; loading the next elements while one is written halves the time. Starts
// loading the element two ahead and the first member entry of the one ahead (whose own load was
// started a step earlier).
void PrefetchAhead(std::span<const ISuperObject> elements, size_t index) {
  if (index + 2 < elements.size()) PrefetchForRead(elements[index + 2].get());
  if (index + 1 < elements.size() && elements[index + 1]) {
    if (const TSuperTableString* members = elements[index + 1]->AsObject()) {
      PrefetchForRead(members->Root());
    }
  }
}

}  // namespace

void TSuperWriter::WriteValue(const TSuperObject& value) {
  const ProcessingMark mark(value.processing_);
  switch (value.Kind()) {
    case TSuperType::Null:
      text_.PutAscii(kNullText);
      break;
    case TSuperType::Boolean:
      text_.PutAscii(value.AsBoolean() ? "true" : "false");
      break;
    case TSuperType::Integer:
    case TSuperType::Double:
    case TSuperType::Currency:
      WriteNumber(value);
      break;
    case TSuperType::String:
      WriteQuoted(value.AsString());
      break;
    case TSuperType::Object:
      WriteMembers(*value.AsObject());
      break;
    case TSuperType::Array:
      WriteElements(*value.AsArray());
      break;
  }
}

void TSuperWriter::WriteNumber(const TSuperObject& value) {
  if (value.Kind() == TSuperType::Integer) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.AsInteger());
    text_.PutAscii(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
  } else if (value.Kind() == TSuperType::Currency) {
    text_.PutAscii(CurrencyToText(value.AsCurrency()));
  } else if (std::isfinite(value.AsDouble())) {
    text_.PutAscii(FloatToText(value.AsDouble()));
  } else {
    text_.PutAscii(kNullText);  // JSON has no text for infinities and NaN
  }
}

void TSuperWriter::WriteHeld(const ISuperObject& value) {
  if (value) {
    WriteValue(*value);
  } else {
    text_.PutAscii(kNullText);
  }
}

void TSuperWriter::WriteMembers(const TSuperTableString& members) {
  if (members.Count() == 0) {
    text_.PutAscii("{}");
    return;
  }
  text_.Put(u'{');
  ++level_;
  bool first = true;
  for (const TSuperObjectIter member : members) {
    if (IsBeingWritten(member.value)) continue;
    if (!first) text_.Put(u',');
    first = false;
    if (indent_) WriteLineBreak();
    WriteQuoted(member.name);
    text_.Put(u':');
    if (indent_) text_.Put(u' ');
    WriteHeld(member.value);
  }
  --level_;
  if (indent_) WriteLineBreak();
  text_.Put(u'}');
}

void TSuperWriter::WriteElements(const TSuperArray& elements) {
  if (elements.Length() == 0) {
    text_.PutAscii("[]");
    return;
  }
  text_.Put(u'[');
  ++level_;
  if (indent_) WriteLineBreak();
  bool first = true;
  const std::span<const ISuperObject> all = elements.Elements();
  for (size_t i = 0; i < all.size(); ++i) {
    PrefetchAhead(all, i);
    const ISuperObject& element = all[i];
    if (IsBeingWritten(element)) continue;
    if (!first) text_.Put(u',');
    first = false;
    WriteHeld(element);
  }
  --level_;
  text_.Put(u']');
}

void TSuperWriter::WriteQuoted(std::u16string_view text) {
  text_.Put(u'"');
  if (escape_) {
    WriteEscaped(text);
  } else {
    WriteUnescaped(text);
  }
  text_.Put(u'"');
}

void TSuperWriter::WriteEscaped(std::u16string_view text) {
  // In the escaped form most characters of a path or a sentence become six bytes: they are
  // escaped into a run on the stack, which the buffer takes whole, instead of one call for each.
  std::array<char, kEscapeRunBytes> run;
  size_t used = 0;
  for (const char16_t c : text) {
    if (used + kLongestEscape > run.size()) {
      text_.PutAscii(std::string_view(run.data(), used));
      used = 0;
    }
    if (IsAsciiAlphanumeric(c)) {
      run[used++] = static_cast<char>(c);
    } else if (const char letter = ShortEscape(c)) {
      run[used++] = '\\';
      run[used++] = letter;
    } else {
      run[used++] = '\\';
      run[used++] = 'u';
      run[used++] = kHexDigits[(c >> 12) & 0xF];
      run[used++] = kHexDigits[(c >> 8) & 0xF];
      run[used++] = kHexDigits[(c >> 4) & 0xF];
      run[used++] = kHexDigits[c & 0xF];
    }
  }
  text_.PutAscii(std::string_view(run.data(), used));
}

void TSuperWriter::WriteUnescaped(std::u16string_view text) {
  size_t plainStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c != u'\0' && c != u'"' && c != u'\\') continue;
    text_.Put(text.substr(plainStart, i - plainStart));
    plainStart = i + 1;
    if (c == u'\0') {
      text_.PutAscii("\\u0000");
    } else {
      text_.Put(u'\\');
      text_.Put(c);
    }
  }
  text_.Put(text.substr(plainStart));
}

void TSuperWriter::WriteLineBreak() {
  text_.PutAscii(kLineBreak);
  text_.PutRepeated(static_cast<size_t>(level_), u' ');
}

TSuperWriter::TSuperWriter(bool indent, bool escape)
    : indent_(indent),
      escape_(escape),
      // Escaped text is pure ASCII: it is kept as bytes from the start.
      text_(escape ? TSuperWriterString::TCharacters::Ascii
                   : TSuperWriterString::TCharacters::Utf16) {}

bool TSuperWriter::IsBeingWritten(const ISuperObject& value) {
  return value && value->processing_;
}

std::u16string TSuperWriter::TakeText() {
  std::u16string result;
  text_.MoveTo(result);
  return result;
}

std::string TSuperWriter::TakeAsciiText() {
  if (!escape_) throw std::logic_error("Only escaped JSON text is pure ASCII");
  std::string result;
  text_.MoveAsciiTo(result);
  return result;
}

std::string EscapedJsonBytes(const TSuperObject& value, bool indent) {
  TSuperWriter writer(indent, true);
  writer.WriteValue(value);
  return writer.TakeAsciiText();
}

}  // namespace webtessl
