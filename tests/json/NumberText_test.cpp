#include "json/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace webtessl {
namespace {

TEST(FloatToTextTest, WholeNumbersAndShortFractionsHaveNoTrailingZeros) {
  EXPECT_EQ(FloatToText(0.0), "0");
  EXPECT_EQ(FloatToText(-0.0), "0");
  EXPECT_EQ(FloatToText(1000.0), "1000");
  EXPECT_EQ(FloatToText(1.5), "1.5");
  EXPECT_EQ(FloatToText(-2.25), "-2.25");
  EXPECT_EQ(FloatToText(0.1), "0.1");
  EXPECT_EQ(FloatToText(100.125), "100.125");
}

TEST(FloatToTextTest, RoundsToFifteenSignificantDigits) {
  EXPECT_EQ(FloatToText(0.1 + 0.2), "0.3");
  EXPECT_EQ(FloatToText(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(FloatToText(2.0 / 3.0), "0.666666666666667");
  EXPECT_EQ(FloatToText(123456789.123456789), "123456789.123457");
  EXPECT_EQ(FloatToText(std::nextafter(1.0, 2.0)), "1");
  EXPECT_EQ(FloatToText(999999999999999.9), "1E15");  // rounding carries into a new digit
}

TEST(FloatToTextTest, ExponentFormAboveFifteenIntegerDigitsAndBelowOneHundredThousandth) {
  EXPECT_EQ(FloatToText(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToText(1e15), "1E15");
  EXPECT_EQ(FloatToText(1234567890123456.0), "1.23456789012346E15");
  EXPECT_EQ(FloatToText(-1e20), "-1E20");
  EXPECT_EQ(FloatToText(1e-5), "0.00001");
  EXPECT_EQ(FloatToText(1.5e-5), "0.000015");
  EXPECT_EQ(FloatToText(9.9e-6), "9.9E-6");
  EXPECT_EQ(FloatToText(-1.5e-7), "-1.5E-7");
  EXPECT_EQ(FloatToText(std::numeric_limits<double>::max()), "1.79769313486232E308");
  EXPECT_EQ(FloatToText(std::numeric_limits<double>::denorm_min()), "4.94065645841247E-324");
}

TEST(CurrencyToTextTest, AtMostFourDecimalsWithoutTrailingZeros) {
  EXPECT_EQ(CurrencyToText(0), "0");
  EXPECT_EQ(CurrencyToText(15000), "1.5");
  EXPECT_EQ(CurrencyToText(10000), "1");
  EXPECT_EQ(CurrencyToText(1), "0.0001");
  EXPECT_EQ(CurrencyToText(-5000), "-0.5");
  EXPECT_EQ(CurrencyToText(-1), "-0.0001");
  EXPECT_EQ(CurrencyToText(123456789), "12345.6789");
  EXPECT_EQ(CurrencyToText(std::numeric_limits<int64_t>::max()), "922337203685477.5807");
  EXPECT_EQ(CurrencyToText(std::numeric_limits<int64_t>::min()), "-922337203685477.5808");
}

}  // namespace
}  // namespace webtessl
