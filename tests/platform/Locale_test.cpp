#include "platform/Locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>

namespace webtessl {
namespace {

TEST(LocaleTest, CLocaleUsesAPoint) {
  EXPECT_EQ(DecimalSeparatorOfLocale("C"), '.');
}

TEST(LocaleTest, UnknownLocaleGivesNothing) {
  EXPECT_EQ(DecimalSeparatorOfLocale("xx_NOWHERE.UTF-8"), std::nullopt);
}

TEST(LocaleTest, CommaLocalesGiveAComma) {
  if (!DecimalSeparatorOfLocale("de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  EXPECT_EQ(DecimalSeparatorOfLocale("de_DE.UTF-8"), ',');
}

TEST(LocaleTest, UserSeparatorLeavesTheGlobalLocaleAlone) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  const char separator = DecimalSeparator();
  EXPECT_TRUE(separator == '.' || separator == ',') << separator;
  EXPECT_EQ(DecimalSeparatorOfLocale("").value_or('.'), separator);
  EXPECT_EQ(before, std::setlocale(LC_ALL, nullptr));
}

}  // namespace
}  // namespace webtessl
