#include "json/JsonWriter.h"

#include <charconv>
#include <cmath>
#include <utility>

#include "json/NumberText.h"
#include "json/SuperValue.h"

namespace webtessl {

namespace {

constexpr std::string_view kNullText = "null";
constexpr std::string_view kLineBreak = "\r\n";
constexpr char kHexDigits[] = "0123456789abcdef";

bool IsAsciiAlphanumeric(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// The letter after the backslash for the characters with a short escape, or 0.
char ShortEscape(char16_t c) {
  switch (c) {
    case u'\b': return 'b';
    case u'\t': return 't';
    case u'\n': return 'n';
    case u'\f': return 'f';
    case u'\r': return 'r';
    case u'"': return '"';
    case u'\\': return '\\';
    case u'/': return '/';
    default: return 0;
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

}  // namespace

TSuperWriter::TSuperWriter(bool indent, bool escape) : indent_(indent), escape_(escape) {
  text_.reserve(kInitialRoom);
}

std::u16string TSuperWriter::TakeText() { return std::exchange(text_, std::u16string()); }

void TSuperWriter::WriteValue(const TSuperObject& value) {
  const ProcessingMark mark(value.processing_);
  switch (value.kind_) {
    case TSuperType::Null: WriteAscii(kNullText); break;
    case TSuperType::Boolean: WriteAscii(std::get<bool>(value.payload_) ? "true" : "false"); break;
    case TSuperType::Integer: {
      char buffer[24];
      const auto result = std::to_chars(buffer, buffer + sizeof buffer,
                                        std::get<int64_t>(value.payload_));
      WriteAscii(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
      break;
    }
    case TSuperType::Double: {
      const double number = std::get<double>(value.payload_);
      // JSON has no text for infinities and NaN; null keeps the output readable by any parser.
      WriteAscii(std::isfinite(number) ? FloatToText(number) : std::string(kNullText));
      break;
    }
    case TSuperType::Currency: WriteAscii(CurrencyToText(std::get<int64_t>(value.payload_))); break;
    case TSuperType::String: WriteQuoted(std::get<std::u16string>(value.payload_)); break;
    case TSuperType::Object: WriteMembers(std::get<TSuperTableString>(value.payload_)); break;
    case TSuperType::Array: WriteElements(std::get<TSuperArray>(value.payload_)); break;
  }
}

void TSuperWriter::WriteMembers(const TSuperTableString& members) {
  if (members.Count() == 0) {
    WriteAscii("{}");
    return;
  }
  text_ += u'{';
  ++level_;
  bool first = true;
  for (const TSuperObjectIter member : members) {
    if (member.value && member.value->processing_) continue;
    if (!first) text_ += u',';
    first = false;
    if (indent_) WriteLineBreak();
    WriteQuoted(member.name);
    text_ += u':';
    if (indent_) text_ += u' ';
    if (member.value) {
      WriteValue(*member.value);
    } else {
      WriteAscii(kNullText);
    }
  }
  --level_;
  if (indent_) WriteLineBreak();
  text_ += u'}';
}

void TSuperWriter::WriteElements(const TSuperArray& elements) {
  if (elements.Length() == 0) {
    WriteAscii("[]");
    return;
  }
  text_ += u'[';
  ++level_;
  if (indent_) WriteLineBreak();
  bool first = true;
  for (const ISuperObject& element : elements.Elements()) {
    if (element && element->processing_) continue;
    if (!first) text_ += u',';
    first = false;
    if (element) {
      WriteValue(*element);
    } else {
      WriteAscii(kNullText);
    }
  }
  --level_;
  text_ += u']';
}

void TSuperWriter::WriteQuoted(std::u16string_view text) {
  text_ += u'"';
  if (escape_) {
    WriteEscaped(text);
  } else {
    WriteUnescaped(text);
  }
  text_ += u'"';
}

void TSuperWriter::WriteEscaped(std::u16string_view text) {
  size_t plainStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsAsciiAlphanumeric(c)) continue;
    text_.append(text.substr(plainStart, i - plainStart));
    plainStart = i + 1;
    text_ += u'\\';
    if (const char letter = ShortEscape(c)) {
      text_ += static_cast<char16_t>(letter);
      continue;
    }
    text_ += u'u';
    for (int shift = 12; shift >= 0; shift -= 4) {
      text_ += static_cast<char16_t>(kHexDigits[(c >> shift) & 0xF]);
    }
  }
  text_.append(text.substr(plainStart));
}

void TSuperWriter::WriteUnescaped(std::u16string_view text) {
  size_t plainStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c != u'\0' && c != u'"' && c != u'\\') continue;
    text_.append(text.substr(plainStart, i - plainStart));
    plainStart = i + 1;
    if (c == u'\0') {
      text_ += u"\\u0000";
    } else {
      text_ += u'\\';
      text_ += c;
    }
  }
  text_.append(text.substr(plainStart));
}

void TSuperWriter::WriteAscii(std::string_view text) { text_.append(text.begin(), text.end()); }

void TSuperWriter::WriteLineBreak() {
  WriteAscii(kLineBreak);
  text_.append(static_cast<size_t>(level_), u' ');
}

}  // namespace webtessl
