#include "json/NumberParse.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

#include "json/SuperValue.h"

namespace webtessl {

namespace {

constexpr int kMaxCurrencyDecimals = 4;
constexpr size_t kNone = std::string_view::npos;

enum class IntegerRead { Ok, Overflow, Malformed };

// Reads "-?[0-9]+" into a signed 64-bit integer.
IntegerRead ReadInteger(std::string_view text, int64_t& value) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty()) return IntegerRead::Malformed;
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t magnitude = 0;
  bool overflow = false;
  for (const char c : text) {
    if (c < '0' || c > '9') return IntegerRead::Malformed;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) overflow = true;
    if (!overflow) magnitude = magnitude * 10 + digit;
  }
  if (overflow) return IntegerRead::Overflow;
  value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return IntegerRead::Ok;
}

// Whether a well-formed decimal text that does not fit in a double is too large (rather than too
// small): from the place of its first significant digit and its exponent.
bool IsBeyondLargest(std::string_view text) {
  const size_t exponentAt = text.find_first_of("eE");
  const std::string_view mantissa = text.substr(0, exponentAt);
  int64_t exponent = 0;
  if (exponentAt != kNone) {
    std::string_view exponentText = text.substr(exponentAt + 1);
    if (!exponentText.empty() && exponentText.front() == '+') exponentText.remove_prefix(1);
    const auto result =
        std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
    if (result.ec == std::errc::result_out_of_range) return exponentText.front() != '-';
  }
  const size_t pointAt = mantissa.find('.') != kNone ? mantissa.find('.') : mantissa.size();
  const size_t firstSignificant = mantissa.find_first_of("123456789");
  if (firstSignificant == kNone) return false;
  // The value lies between 10^(place - 1 + exponent) and 10^(place + exponent).
  const int64_t place = firstSignificant < pointAt
                            ? static_cast<int64_t>(pointAt - firstSignificant)
                            : -static_cast<int64_t>(firstSignificant - pointAt - 1);
  return place + exponent > 0;
}

ISuperObject DoubleFromText(std::string_view text) {
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ptr != text.data() + text.size()) return nullptr;
  if (result.ec == std::errc::result_out_of_range) {
    // Like the C runtime's conversion: infinity beyond the largest double, zero below the least.
    value = IsBeyondLargest(text) ? std::numeric_limits<double>::infinity() : 0.0;
    if (text.front() == '-') value = -value;
  } else if (result.ec != std::errc()) {
    return nullptr;
  }
  return TSuperObject::NewDouble(value);
}

ISuperObject CurrencyFromText(std::string_view text, size_t pointAt) {
  const std::string_view decimals = text.substr(pointAt + 1);
  std::string digits(text.substr(0, pointAt));
  digits.append(decimals);
  int64_t value = 0;
  switch (ReadInteger(digits, value)) {
    case IntegerRead::Malformed:
      return nullptr;
    case IntegerRead::Overflow:
      return DoubleFromText(text);
    case IntegerRead::Ok:
      break;
  }
  for (size_t i = decimals.size(); i < kMaxCurrencyDecimals; ++i) {
    if (value > std::numeric_limits<int64_t>::max() / 10 ||
        value < std::numeric_limits<int64_t>::min() / 10) {
      return DoubleFromText(text);
    }
    value *= 10;
  }
  return TSuperObject::NewCurrency(value);
}

}  // namespace

ISuperObject NumberFromText(std::string_view text) {
  const size_t pointAt = text.find('.');
  const bool hasExponent = text.find_first_of("eE") != kNone;
  if (pointAt == kNone && !hasExponent) {
    int64_t value = 0;
    switch (ReadInteger(text, value)) {
      case IntegerRead::Ok:
        return TSuperObject::NewInteger(value);
      case IntegerRead::Overflow:
        return DoubleFromText(text);
      case IntegerRead::Malformed:
        return nullptr;
    }
  }
  const bool fewDecimals = pointAt != kNone && text.size() - pointAt - 1 <= kMaxCurrencyDecimals;
  if (!hasExponent && fewDecimals) return CurrencyFromText(text, pointAt);
  return DoubleFromText(text);
}

}  // namespace webtessl
