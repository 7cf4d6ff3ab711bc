#include "http/HeaderValues.h"

#include <algorithm>

#include "common/AsciiText.h"

namespace webtessl {
namespace {

constexpr char kQuote = '"';
constexpr char kEscape = '\\';
// Where the name of a parameter, or a bare value, ends.
constexpr std::string_view kParamStops = "\",;=";
// Where an unquoted parameter value ends.
constexpr std::string_view kParamSeparators = ",;";

size_t SkipWhiteSpace(std::string_view text, size_t pos) {
  while (pos < text.size() && IsWhiteSpace(text[pos])) ++pos;
  return pos;
}

// A stored line keeps its form when the name touches the colon and exactly one white-space
// character separates the colon from a value.
bool HasStoredForm(std::string_view line, size_t colon) {
  return !IsWhiteSpace(line[colon - 1]) && colon + 2 < line.size() &&
         IsWhiteSpace(line[colon + 1]) && !IsWhiteSpace(line[colon + 2]);
}

// Position of the first delimiter outside double-quoted strings, npos when there is none.
size_t FindUnquoted(std::string_view text, char delimiter) {
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == kEscape) {
        ++i;
      } else if (c == kQuote) {
        quoted = false;
      }
    } else if (c == kQuote) {
      quoted = true;
    } else if (c == delimiter) {
      return i;
    }
  }
  return std::string_view::npos;
}

// Position of the quote that closes the string opening at `open`; the end of the text when the
// string is never closed.
size_t ClosingQuote(std::string_view text, size_t open) {
  size_t i = open + 1;
  while (i < text.size() && text[i] != kQuote) {
    i += text[i] == kEscape ? 2 : 1;
  }
  return std::min(i, text.size());
}

std::string Unescape(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == kEscape) ++i;
    if (i < text.size()) result += text[i];
  }
  return result;
}

// Reads a parameter value starting at `pos`: a quoted string (without its quotes) or the text up
// to the next separator. Returns the position after the value.
size_t ReadParamValue(std::string_view text, size_t pos, std::string& value, bool& quoted) {
  pos = SkipWhiteSpace(text, pos);
  quoted = pos < text.size() && text[pos] == kQuote;
  if (quoted) {
    const size_t close = ClosingQuote(text, pos);
    value = Trim(text.substr(pos + 1, close - pos - 1));
    return std::min(close + 1, text.size());
  }
  const size_t end = std::min(text.find_first_of(kParamSeparators, pos), text.size());
  value = Trim(text.substr(pos, end - pos));
  return end;
}

}  // namespace

std::string NormalizeHeaderLine(std::string_view line) {
  if (line.empty()) return {};
  line = IsWhiteSpace(line.front()) ? Trim(line) : TrimRight(line);
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0 || HasStoredForm(line, colon)) {
    return std::string(line);
  }
  std::string_view value = line;
  std::string result = FetchTrimmed(value, ":");
  result += kHeaderNameSeparator;
  result += value;
  return result;
}

std::string TrimCopy(std::string_view text, size_t from, size_t count) {
  if (from >= text.size()) return {};
  return std::string(Trim(text.substr(from, count)));
}

std::string FetchTrimmed(std::string_view& text, std::string_view delimiter) {
  const size_t at = delimiter.empty() ? std::string_view::npos : text.find(delimiter);
  if (at == std::string_view::npos) {
    std::string head(Trim(text));
    text = {};
    return head;
  }
  std::string head = TrimCopy(text, 0, at);
  text = Trim(text.substr(at + delimiter.size()));
  return head;
}

std::string NextItem(std::string_view& text, char delimiter) {
  const size_t at = FindUnquoted(text, delimiter);
  if (at == std::string_view::npos) {
    std::string item(Trim(text));
    text = {};
    return item;
  }
  std::string item = TrimCopy(text, 0, at);
  size_t next = at + 1;
  while (next < text.size() && (IsWhiteSpace(text[next]) || text[next] == delimiter)) ++next;
  text.remove_prefix(next);
  return item;
}

bool NextParam(std::string_view& text, std::string& name, std::string& value) {
  size_t pos = SkipWhiteSpace(text, 0);
  name.clear();
  value.clear();
  if (pos == text.size()) {
    text = {};
    return false;
  }
  const size_t stop = std::min(text.find_first_of(kParamStops, pos), text.size());
  bool quoted = false;
  if (stop < text.size() && text[stop] == '=') {
    name = Trim(text.substr(pos, stop - pos));
    pos = ReadParamValue(text, stop + 1, value, quoted);
  } else if (stop > pos) {
    value = Trim(text.substr(pos, stop - pos));
    pos = stop;
  } else {
    pos = ReadParamValue(text, pos, value, quoted);
  }
  pos = SkipWhiteSpace(text, pos);
  if (pos < text.size() && kParamSeparators.find(text[pos]) != std::string_view::npos) ++pos;
  text = Trim(text.substr(pos));
  if (quoted && value.find(kEscape) != std::string::npos) value = Unescape(value);
  return true;
}

std::string FindParam(std::string_view text, std::string_view name) {
  std::string paramName;
  std::string paramValue;
  while (NextParam(text, paramName, paramValue)) {
    if (!paramName.empty() && SameText(paramName, name)) return paramValue;
  }
  return {};
}

std::string QuoteString(std::string_view text) {
  std::string result;
  result.reserve(text.size() + 2);
  result += kQuote;
  for (const char c : text) {
    if (c == kQuote || c == kEscape) result += kEscape;
    result += c;
  }
  result += kQuote;
  return result;
}

}  // namespace webtessl
