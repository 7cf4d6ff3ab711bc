#include "json/NumberText.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace webtessl {

namespace {

// Fixed notation is used for decimal exponents from this one up to kFloatTextDigits - 1.
constexpr int kSmallestFixedExponent = -5;
constexpr int kCurrencyDecimals = 4;

std::string ExponentForm(std::string_view digits, int exponent) {
  std::string text(1, digits[0]);
  if (digits.size() > 1) {
    text += '.';
    text.append(digits.substr(1));
  }
  text += 'E';
  text += std::to_string(exponent);
  return text;
}

std::string FixedForm(std::string_view digits, int exponent) {
  std::string text;
  if (exponent < 0) {
    text = "0.";
    text.append(static_cast<size_t>(-exponent - 1), '0');
    text.append(digits);
    return text;
  }
  const size_t integerDigits = static_cast<size_t>(exponent) + 1;
  if (digits.size() <= integerDigits) {
    text.assign(digits);
    text.append(integerDigits - digits.size(), '0');
    return text;
  }
  text.assign(digits.substr(0, integerDigits));
  text += '.';
  text.append(digits.substr(integerDigits));
  return text;
}

}  // namespace

std::string FloatToText(double value) {
  if (value == 0.0) return "0";
  // Scientific form with 15 significant digits: "d.dddddddddddddde[+-]x", correctly rounded.
  char buffer[40];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                    std::chars_format::scientific, kFloatTextDigits - 1);
  const std::string_view scientific(buffer, static_cast<size_t>(result.ptr - buffer));
  const size_t e = scientific.find('e');
  int exponent = 0;
  const char* exponentText = scientific.data() + e + 1;
  if (*exponentText == '+') ++exponentText;
  std::from_chars(exponentText, scientific.data() + scientific.size(), exponent);

  std::string digits(1, scientific[0]);
  if (e > 2) digits.append(scientific.substr(2, e - 2));
  digits.erase(digits.find_last_not_of('0') + 1);  // the first digit is never 0

  const bool useExponent = exponent >= kFloatTextDigits || exponent < kSmallestFixedExponent;
  std::string text = value < 0 ? "-" : "";
  text += useExponent ? ExponentForm(digits, exponent) : FixedForm(digits, exponent);
  return text;
}

std::string CurrencyToText(int64_t scaledValue) {
  // Works on the magnitude as unsigned, so the most negative value needs no special case.
  const uint64_t magnitude =
      scaledValue < 0 ? 0 - static_cast<uint64_t>(scaledValue) : static_cast<uint64_t>(scaledValue);
  const uint64_t scale = kCurrencyScale;
  std::string text = scaledValue < 0 ? "-" : "";
  text += std::to_string(magnitude / scale);
  uint64_t fraction = magnitude % scale;
  if (fraction == 0) return text;
  std::string decimals(kCurrencyDecimals, '0');
  for (int i = kCurrencyDecimals - 1; i >= 0; --i, fraction /= 10) {
    decimals[static_cast<size_t>(i)] = static_cast<char>('0' + fraction % 10);
  }
  decimals.erase(decimals.find_last_not_of('0') + 1);
  text += '.';
  text += decimals;
  return text;
}

}  // namespace webtessl
