#include "common/Int64Text.h"

#include <limits>

namespace webtessl {
namespace {

constexpr unsigned kHexRadix = 16;
constexpr unsigned kDecimalRadix = 10;

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Length of the hexadecimal marker at the start of digits ("$", "x", "X", "0x", "0X"), 0 if none.
size_t HexMarkerLength(std::string_view digits) {
  if (!digits.empty() && (digits[0] == '$' || digits[0] == 'x' || digits[0] == 'X')) return 1;
  if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) return 2;
  return 0;
}

}  // namespace

std::optional<int64_t> TryStrToInt64(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  const size_t marker = HexMarkerLength(text.substr(pos));
  const unsigned radix = marker > 0 ? kHexRadix : kDecimalRadix;
  pos += marker;
  if (pos == text.size()) return std::nullopt;

  // Decimal values may reach the magnitude of the smallest negative value; hexadecimal ones fill
  // the whole 64-bit pattern.
  const uint64_t limit = radix == kHexRadix ? std::numeric_limits<uint64_t>::max()
                         : negative         ? uint64_t{1} << 63
                                    : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  uint64_t magnitude = 0;
  for (; pos < text.size(); ++pos) {
    const int digit = DigitValue(text[pos]);
    if (digit < 0 || static_cast<unsigned>(digit) >= radix) return std::nullopt;
    if (magnitude > (limit - static_cast<uint64_t>(digit)) / radix) return std::nullopt;
    magnitude = magnitude * radix + static_cast<uint64_t>(digit);
  }
  const uint64_t pattern = negative ? 0 - magnitude : magnitude;
  return static_cast<int64_t>(pattern);
}

int64_t StrToInt64Def(std::string_view text, int64_t defaultValue) {
  return TryStrToInt64(text).value_or(defaultValue);
}

}  // namespace webtessl
