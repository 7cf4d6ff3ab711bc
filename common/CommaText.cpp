#include "common/CommaText.h"

namespace webtessl {
namespace {

constexpr char kDelimiter = ',';
constexpr char kQuote = '"';

bool IsBlank(char c) {
  return c >= 1 && c <= ' ';
}

void SkipBlanks(std::string_view text, size_t& pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
}

// Reads a quoted item starting at the opening quote; pos ends after the closing quote (or at the
// end of the text when the quote is never closed).
std::string ReadQuotedItem(std::string_view text, size_t& pos) {
  std::string item;
  ++pos;
  while (pos < text.size()) {
    if (text[pos] == kQuote) {
      if (pos + 1 < text.size() && text[pos + 1] == kQuote) {
        item += kQuote;
        pos += 2;
        continue;
      }
      ++pos;
      break;
    }
    item += text[pos++];
  }
  return item;
}

std::string ReadPlainItem(std::string_view text, size_t& pos) {
  const size_t start = pos;
  while (pos < text.size() && !IsBlank(text[pos]) && text[pos] != kDelimiter) ++pos;
  return std::string(text.substr(start, pos - start));
}

}  // namespace

std::vector<std::string> SplitCommaText(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string> items;
  size_t pos = 0;
  SkipBlanks(text, pos);
  while (pos < text.size()) {
    items.push_back(text[pos] == kQuote ? ReadQuotedItem(text, pos) : ReadPlainItem(text, pos));
    SkipBlanks(text, pos);
    if (pos < text.size() && text[pos] == kDelimiter) {
      if (pos + 1 == text.size()) items.emplace_back();
      ++pos;
      SkipBlanks(text, pos);
    }
  }
  return items;
}

}  // namespace webtessl
