#pragma once

#include <cstdint>
#include <string>

namespace webtessl {

// Currency values are fixed point with four decimals, held as a 64-bit integer scaled by this.
inline constexpr int64_t kCurrencyScale = 10000;

// Significant digits of the general floating-point text.
inline constexpr int kFloatTextDigits = 15;

// The general text of a finite double: rounded to 15 significant digits, without trailing zeros,
// without a point for whole numbers, and in exponent notation ("1.5E-7", "1E20") when the fixed
// form would need more than 15 digits before the point or the magnitude is below 0.00001. The
// decimal separator is always ".", whatever the locale. Thread-safe.
std::string FloatToText(double value);

// The general text of a fixed-point value scaled by 10,000: at most four decimals, without
// trailing zeros, without a point for whole numbers ("1.5", "-0.0001", "3"). Thread-safe.
std::string CurrencyToText(int64_t scaledValue);

}  // namespace webtessl
