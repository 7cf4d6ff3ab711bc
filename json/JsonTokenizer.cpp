#include "json/JsonTokenizer.h"

#include <string>

#include "json/NumberParse.h"
#include "json/SuperValue.h"

namespace webtessl {

namespace {

constexpr size_t kNone = std::u16string_view::npos;
constexpr size_t kUnicodeEscapeDigits = 4;
constexpr size_t kByteEscapeDigits = 2;

bool IsBlank(char16_t c) {
  return c == u'\b' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r' || c == u' ';
}

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

bool IsNumberChar(char16_t c) {
  return IsDigit(c) || c == u'+' || c == u'-' || c == u'.' || c == u'E' || c == u'e';
}

bool IsAsciiLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// A literal directly followed by one of these is the start of a bare word instead.
bool ContinuesWord(char16_t c) {
  return IsAsciiLetter(c) || c == u'_' || c == u'.';
}

int HexValue(char16_t c) {
  if (IsDigit(c)) return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool CannotStartBareName(char16_t c) {
  switch (c) {
    case u'\0':
    case u'\b':
    case u'\t':
    case u'\n':
    case u'\f':
    case u'\r':
    case u' ':
    case u'"':
    case u'(':
    case u')':
    case u',':
    case u'.':
    case u':':
    case u'[':
    case u']':
    case u'{':
    case u'}':
      return true;
    default:
      return false;
  }
}

// Bare words lose trailing spaces and line ends (not tabs).
std::u16string_view TrimBareWord(std::u16string_view word) {
  const size_t last = word.find_last_not_of(u" \r\n");
  return last == kNone ? std::u16string_view() : word.substr(0, last + 1);
}

}  // namespace

ISuperObject ParseJsonText(std::u16string_view text) {
  return TSuperTokenizer(text).ParseFirstValue();
}

TSuperTokenizer::TSuperTokenizer(std::u16string_view text)
    : text_(text.substr(0, text.find(u'\0'))) {}

ISuperObject TSuperTokenizer::ParseFirstValue() {
  return ParseValue(0, Place::Top);
}

bool TSuperTokenizer::SkipBlanks() {
  while (!AtEnd()) {
    const char16_t c = text_[pos_];
    if (IsBlank(c)) {
      ++pos_;
      continue;
    }
    if (c != u'/') return true;
    const char16_t next = pos_ + 1 < text_.size() ? text_[pos_ + 1] : u'\0';
    if (next == u'*') {
      const size_t close = text_.find(u"*/", pos_ + 2);
      if (close == kNone) return false;
      pos_ = close + 2;
    } else if (next == u'/') {
      const size_t lineEnd = text_.find(u'\n', pos_ + 2);
      pos_ = lineEnd == kNone ? text_.size() : lineEnd + 1;
    } else {
      return false;
    }
  }
  return true;
}

ISuperObject TSuperTokenizer::ParseValue(int level, Place place) {
  if (!SkipBlanks()) return nullptr;
  if (AtEnd()) return place == Place::Top ? TSuperObject::NewString(u"") : nullptr;
  const char16_t c = text_[pos_];
  if (c == u'"' || c == u'\'') {
    std::u16string text;
    return ParseQuoted(text) ? TSuperObject::NewString(std::move(text)) : nullptr;
  }
  if (c == u'[') return ParseArray(level);
  if (c == u'{') return ParseObject(level);
  if (IsDigit(c) || c == u'-') return ParseNumber();
  if (ISuperObject literal = ParseLiteral()) return literal;
  return ParseBareWord(place);
}

ISuperObject TSuperTokenizer::ParseArray(int level) {
  ++pos_;  // "["
  ISuperObject result = TSuperObject::NewArray();
  TSuperArray& elements = *result->AsArray();
  if (!SkipBlanks() || AtEnd()) return nullptr;
  if (text_[pos_] == u']') {
    ++pos_;
    return result;
  }
  while (true) {
    if (level >= kMaxLevel) return nullptr;
    ISuperObject element = ParseValue(level + 1, Place::Array);
    if (!element) return nullptr;
    elements.AppendElement(std::move(element));
    if (!SkipBlanks() || AtEnd()) return nullptr;
    const char16_t c = text_[pos_++];
    if (c == u']') return result;
    if (c != u',') return nullptr;
    if (!SkipBlanks() || AtEnd()) return nullptr;
    if (text_[pos_] == u']') {  // a trailing comma
      ++pos_;
      return result;
    }
  }
}

ISuperObject TSuperTokenizer::ParseObject(int level) {
  ++pos_;  // "{"
  ISuperObject result = TSuperObject::NewObject();
  TSuperTableString& members = *result->AsObject();
  if (!SkipBlanks() || AtEnd()) return nullptr;
  if (text_[pos_] == u'}') {
    ++pos_;
    return result;
  }
  while (true) {
    std::u16string name;
    if (!ParseMemberName(name)) return nullptr;
    if (!SkipBlanks() || AtEnd() || text_[pos_] != u':') return nullptr;
    ++pos_;
    if (level >= kMaxLevel) return nullptr;
    ISuperObject value = ParseValue(level + 1, Place::Object);
    if (!value) return nullptr;
    members.PutTakingName(std::move(name), std::move(value));
    if (!SkipBlanks() || AtEnd()) return nullptr;
    const char16_t c = text_[pos_++];
    if (c == u'}') return result;
    if (c != u',') return nullptr;
    if (!SkipBlanks() || AtEnd()) return nullptr;
    if (text_[pos_] == u'}') {  // a trailing comma
      ++pos_;
      return result;
    }
  }
}

ISuperObject TSuperTokenizer::ParseNumber() {
  std::string collected;
  for (; !AtEnd() && IsNumberChar(text_[pos_]); ++pos_) {
    collected += static_cast<char>(text_[pos_]);
  }
  return NumberFromText(collected);
}

ISuperObject TSuperTokenizer::ParseLiteral() {
  struct Literal {
    std::u16string_view word;
    ISuperObject (*make)();
  };
  static constexpr Literal kLiterals[] = {
      {u"null", [] { return TSuperObject::NewNull(); }},
      {u"true", [] { return TSuperObject::NewBoolean(true); }},
      {u"false", [] { return TSuperObject::NewBoolean(false); }},
  };
  const std::u16string_view rest = text_.substr(pos_);
  for (const Literal& literal : kLiterals) {
    if (!rest.starts_with(literal.word)) continue;
    const size_t after = literal.word.size();
    if (after < rest.size() && ContinuesWord(rest[after])) return nullptr;
    pos_ += after;
    return literal.make();
  }
  return nullptr;
}

ISuperObject TSuperTokenizer::ParseBareWord(Place place) {
  size_t end = text_.size();
  if (place != Place::Top) {
    end = text_.find_first_of(place == Place::Array ? u",]" : u",}", pos_);
    if (end == kNone) return nullptr;  // the text ends inside the word
  }
  const std::u16string_view word = TrimBareWord(text_.substr(pos_, end - pos_));
  pos_ = end;
  return TSuperObject::NewString(std::u16string(word));
}

bool TSuperTokenizer::ParseMemberName(std::u16string& name) {
  if (!SkipBlanks() || AtEnd()) return false;
  const char16_t c = text_[pos_];
  if (c == u'"' || c == u'\'') return ParseQuoted(name);
  if (CannotStartBareName(c)) return false;
  return ParseBareName(name);
}

bool TSuperTokenizer::ParseQuoted(std::u16string& text) {
  const char16_t quote = text_[pos_++];
  const char16_t stops[] = {quote, u'\\', u'\0'};
  while (true) {
    const size_t stop = text_.find_first_of(stops, pos_);
    if (stop == kNone) return false;  // the text ends inside the string
    text.append(text_.substr(pos_, stop - pos_));
    pos_ = stop;
    if (text_[pos_] == quote) {
      ++pos_;
      return true;
    }
    if (!ParseEscape(text)) return false;
  }
}

bool TSuperTokenizer::ParseBareName(std::u16string& name) {
  while (true) {
    const size_t stop = text_.find_first_of(u":\\", pos_);
    if (stop == kNone) return false;  // no ":" follows the name
    name.append(text_.substr(pos_, stop - pos_));
    pos_ = stop;
    if (text_[pos_] == u':') return true;
    if (!ParseEscape(name)) return false;
  }
}

bool TSuperTokenizer::ParseEscape(std::u16string& text) {
  ++pos_;  // the backslash
  if (AtEnd()) return false;
  const char16_t c = text_[pos_++];
  switch (c) {
    case u'b':
      text += u'\b';
      return true;
    case u'f':
      text += u'\f';
      return true;
    case u'n':
      text += u'\n';
      return true;
    case u'r':
      text += u'\r';
      return true;
    case u't':
      text += u'\t';
      return true;
    case u'u':
      return ParseHex(kUnicodeEscapeDigits, text);
    case u'x':
      return ParseHex(kByteEscapeDigits, text);
    default:
      text += c;
      return true;
  }
}

bool TSuperTokenizer::ParseHex(size_t digits, std::u16string& text) {
  if (text_.size() - pos_ < digits) return false;
  unsigned value = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int digit = HexValue(text_[pos_++]);
    if (digit < 0) return false;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  text += static_cast<char16_t>(value);
  return true;
}

}  // namespace webtessl
