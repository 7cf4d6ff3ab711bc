#include "common/QueryValue.h"

#include <optional>

namespace webtessl {
namespace {

std::optional<int> HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;
}

bool IsLineEnd(char c) {
  return c == '\n' || c == '\r';
}

// How many characters an escaped line end at text[start] takes: the line end itself and, when it
// follows directly, its partner (CR after LF, LF after CR).
size_t LineEndLength(std::string_view text, size_t start) {
  const size_t next = start + 1;
  if (next < text.size() && IsLineEnd(text[next]) && text[next] != text[start]) return 2;
  return 1;
}

}  // namespace

std::string DecodeQueryValue(std::string_view raw) {
  std::string decoded;
  decoded.reserve(raw.size());
  size_t i = 0;
  while (i < raw.size()) {
    const char c = raw[i];
    if (c != '%') {
      decoded += c == '+' ? ' ' : c;
      ++i;
      continue;
    }
    if (i + 2 >= raw.size()) break;  // a "%" among the last two characters ends the value
    const std::optional<int> high = HexValue(raw[i + 1]);
    const std::optional<int> low = HexValue(raw[i + 2]);
    if (high && low) {
      decoded += static_cast<char>(*high * 16 + *low);
      i += 3;
    } else if (IsLineEnd(raw[i + 1])) {
      i += 1 + LineEndLength(raw, i + 1);
    } else {
      decoded += c;
      ++i;
    }
  }
  return decoded;
}

}  // namespace webtessl
