#include "common/IntegerText.h"

#include <limits>

namespace webtessl {
namespace {

constexpr uint64_t kMaxHexPattern = std::numeric_limits<uint32_t>::max();
// The magnitude of the smallest 32-bit value; the largest is one less.
constexpr uint64_t kMaxNegativeMagnitude = uint64_t{1} << 31;

std::optional<unsigned> HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return std::nullopt;
}

// Removes a hexadecimal prefix from the front of digits; true when there was one.
bool ConsumeHexPrefix(std::string_view& digits) {
  for (std::string_view prefix : {"0x", "0X", "$", "x", "X"}) {
    if (digits.starts_with(prefix)) {
      digits.remove_prefix(prefix.size());
      return true;
    }
  }
  return false;
}

// The value of non-empty digits in the given base, or nothing when a character is not a digit of
// that base or the value passes limit.
std::optional<uint64_t> DigitsValue(std::string_view digits, unsigned base, uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : digits) {
    const std::optional<unsigned> digit = HexDigitValue(c);
    if (!digit || *digit >= base) return std::nullopt;
    value = value * base + *digit;
    if (value > limit) return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<int32_t> TryStrToInt(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (ConsumeHexPrefix(text)) {
    const std::optional<uint64_t> pattern = DigitsValue(text, 16, kMaxHexPattern);
    if (!pattern) return std::nullopt;
    // Unsigned arithmetic wraps, which is exactly the 32-bit pattern rule.
    const uint32_t bits = static_cast<uint32_t>(*pattern);
    return static_cast<int32_t>(negative ? 0u - bits : bits);
  }
  const uint64_t limit = negative ? kMaxNegativeMagnitude : kMaxNegativeMagnitude - 1;
  const std::optional<uint64_t> magnitude = DigitsValue(text, 10, limit);
  if (!magnitude) return std::nullopt;
  const int64_t value =
      negative ? -static_cast<int64_t>(*magnitude) : static_cast<int64_t>(*magnitude);
  return static_cast<int32_t>(value);
}

int32_t StrToIntDef(std::string_view text, int32_t defaultValue) {
  return TryStrToInt(text).value_or(defaultValue);
}

}  // namespace webtessl
