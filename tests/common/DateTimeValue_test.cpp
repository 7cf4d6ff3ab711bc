#include "common/DateTimeValue.h"

#include <gtest/gtest.h>

#include <limits>

namespace webtessl {
namespace {

TEST(DateTimeValueTest, KnownDaysAndWeekdays) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1899, 12, 31), 1);
  EXPECT_EQ(EncodeDate(1970, 1, 1), kUnixEpochDateTime);
  EXPECT_EQ(EncodeDate(1900, 3, 1), 61);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
  EXPECT_EQ(DecodeDateTime(0)->dayOfWeek, 6);
  EXPECT_EQ(DecodeDateTime(EncodeDate(1994, 11, 6))->dayOfWeek, 0);
  EXPECT_EQ(DecodeDateTime(EncodeDate(2024, 2, 29))->dayOfWeek, 4);
}

TEST(DateTimeValueTest, DecodeRoundTripsEveryDayOfFourCenturies) {
  for (int day = -20000; day < 146097 - 20000; ++day) {
    const auto parts = DecodeDateTime(ComposeDateTime(day, 0.5));
    ASSERT_TRUE(parts);
    ASSERT_EQ(EncodeDate(parts->year, parts->month, parts->day), day);
    ASSERT_EQ(parts->hour, 12);
  }
}

TEST(DateTimeValueTest, NegativeValuesCountTheTimeForward) {
  const auto parts = DecodeDateTime(-1.25);
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->year, 1899);
  EXPECT_EQ(parts->month, 12);
  EXPECT_EQ(parts->day, 29);
  EXPECT_EQ(parts->hour, 6);
  EXPECT_EQ(ComposeDateTime(-1, 0.25), -1.25);
  EXPECT_EQ(UnixTimeToDateTime(-2209161600LL - 86400 + 6 * 3600, 0), -1.25);
}

TEST(DateTimeValueTest, UnixTimesAndMilliseconds) {
  EXPECT_EQ(UnixTimeToDateTime(0, 0), kUnixEpochDateTime);
  const auto before = DecodeDateTime(UnixTimeToDateTime(-1, 500));
  EXPECT_EQ(before->year, 1969);
  EXPECT_EQ(before->hour, 23);
  EXPECT_EQ(before->second, 59);
  EXPECT_EQ(before->millisecond, 500);
  const auto parts = DecodeDateTime(UnixTimeToDateTime(1236434709, 123));
  EXPECT_EQ(parts->year, 2009);
  EXPECT_EQ(parts->month, 3);
  EXPECT_EQ(parts->day, 7);
  EXPECT_EQ(parts->hour, 14);
  EXPECT_EQ(parts->minute, 5);
  EXPECT_EQ(parts->second, 9);
  EXPECT_EQ(parts->millisecond, 123);
}

TEST(DateTimeValueTest, CalendarRulesAndRange) {
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2023, 2), 28);
  EXPECT_EQ(DaysInMonth(2023, 13), 0);
  EXPECT_FALSE(IsValidDate(2023, 11, 31));
  EXPECT_FALSE(IsValidDate(10000, 1, 1));
  EXPECT_FALSE(IsValidDate(0, 1, 1));
  EXPECT_FALSE(DecodeDateTime(EncodeDate(9999, 12, 31) + 1));
  EXPECT_FALSE(DecodeDateTime(-693594.5));
  EXPECT_FALSE(DecodeDateTime(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_TRUE(DecodeDateTime(EncodeDate(9999, 12, 31) + 0.5));
}

}  // namespace
}  // namespace webtessl
