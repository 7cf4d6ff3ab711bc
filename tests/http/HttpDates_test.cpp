#include "http/HttpDates.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "common/DateTimeValue.h"
#include "tests/support/EnvironmentScope.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

constexpr double kOneSecond = 1.0 / 86400;
constexpr double kTolerance = 1e-7;  // well below a millisecond

double DateTime(int year, int month, int day, int hour, int minute, int second) {
  return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, 0);
}

std::optional<double> Parsed(const std::string& text) {
  double value = -1;
  if (!ParseHttpDate(text, value)) {
    EXPECT_EQ(value, 0) << text;
    return std::nullopt;
  }
  return value;
}

TEST(FormatHttpDateTest, EdgesAndMillisecondsDropped) {
  EXPECT_EQ(FormatHttpDate(0, false), "");
  EXPECT_EQ(FormatHttpDate(1.0, false), "");
  EXPECT_EQ(FormatHttpDate(-5, false), "");
  EXPECT_EQ(FormatHttpDate(1.5, false), "Sun, 31 Dec 1899 12:00:00 GMT");
  const double withMilliseconds = EncodeDate(1994, 11, 6) + EncodeTime(8, 49, 37, 999);
  EXPECT_EQ(FormatHttpDate(withMilliseconds, false), "Sun, 06 Nov 1994 08:49:37 GMT");
  // A fraction that rounds to a whole day moves to the next midnight, never to 24:00:00.
  EXPECT_EQ(FormatHttpDate(EncodeDate(2020, 2, 28) + 1 - 1e-10, false),
            "Sat, 29 Feb 2020 00:00:00 GMT");
  EXPECT_EQ(FormatHttpDate(EncodeDate(9999, 12, 31), false), "Fri, 31 Dec 9999 00:00:00 GMT");
  EXPECT_EQ(FormatHttpDate(1e12, false), "");
}

TEST(FormatHttpDateTest, ConvertsLocalTimeWithTheCurrentZone) {
  const testing_support::EnvironmentScope zone("TZ", "XYZ-2");  // two hours ahead of UTC, no daylight saving
  EXPECT_EQ(FormatHttpDate(DateTime(2021, 1, 1, 1, 30, 0), true), "Thu, 31 Dec 2020 23:30:00 GMT");
  EXPECT_EQ(FormatHttpDate(DateTime(2021, 1, 1, 1, 30, 0), false), "Fri, 01 Jan 2021 01:30:00 GMT");
}

// The response date a thread keeps is the clock's, also after the second it names has passed
// (the rounds span more than a second), and a new thread writes its own.
TEST(CurrentHttpDateTest, NamesTheClocksSecondAsItMovesOn) {
  const auto matchesClock = [](const std::function<std::string()>& current) {
    const std::string before = FormatHttpDate(UtcNow(), false);
    const std::string text = current();
    const std::string after = FormatHttpDate(UtcNow(), false);
    return text == before || text == after;
  };
  for (int round = 0; round < 3; ++round) {
    EXPECT_TRUE(matchesClock(CurrentHttpDate));
    EXPECT_TRUE(matchesClock(CurrentHttpDate)) << "the kept text";
    bool otherThread = false;
    std::thread([&] { otherThread = matchesClock(CurrentHttpDate); }).join();
    EXPECT_TRUE(otherThread);
    std::this_thread::sleep_for(std::chrono::milliseconds(550));
  }
}

TEST(ParseHttpDateTest, TheThreeHttpFormsAgree) {
  const double expected = DateTime(1994, 11, 6, 8, 49, 37);
  for (const char* text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                           "Sun Nov  6 08:49:37 1994", "  sun,   06 nov 1994   08:49:37 gmt  "}) {
    const auto value = Parsed(text);
    ASSERT_TRUE(value) << text;
    EXPECT_NEAR(*value, expected, kTolerance) << text;
  }
  EXPECT_EQ(FormatHttpDate(*Parsed("Sun, 06 Nov 1994 08:49:37 GMT"), false),
            "Sun, 06 Nov 1994 08:49:37 GMT");
}

TEST(ParseHttpDateTest, NumericOffsetsMoveTheValueToUtc) {
  const double base = DateTime(1994, 11, 6, 8, 49, 37);
  EXPECT_NEAR(*Parsed("Sun, 06 Nov 1994 08:49:37 +0100"), base - 3600 * kOneSecond, kTolerance);
  EXPECT_NEAR(*Parsed("Sun, 06 Nov 1994 08:49:37 -0530"), base + 5.5 * 3600 * kOneSecond,
              kTolerance);
  // Five-character tokens that are no offset (a time without seconds, an hour above 29) are
  // ignored.
  EXPECT_NEAR(*Parsed("Sun, 06 Nov 1994 08:49:37 +3000"), base, kTolerance);
  EXPECT_NEAR(*Parsed("06 Nov 1994 08:49"), EncodeDate(1994, 11, 6), kTolerance);
}

TEST(ParseHttpDateTest, HyphenatedYearsAroundTheCenturyPivot) {
  const auto yearOf = [](const std::string& text) {
    const auto value = Parsed(text);
    return value ? DecodeDateTime(*value)->year : 0;
  };
  EXPECT_EQ(yearOf("06-Nov-94"), 1994);
  EXPECT_EQ(yearOf("06-Nov-49"), 2049);
  EXPECT_EQ(yearOf("06-Nov-50"), 2050);
  EXPECT_EQ(yearOf("06-Nov-51"), 1951);
  EXPECT_EQ(yearOf("06-Nov-00"), 2000);
  // A four-digit year is taken as written (the cookie "expires" form).
  EXPECT_EQ(yearOf("Wed, 09-Jun-2021 10:18:14 GMT"), 2021);
  EXPECT_FALSE(Parsed("06-Nov-12000"));
  EXPECT_FALSE(Parsed("06-Xyz-94"));
  EXPECT_FALSE(Parsed("06-Nov"));
}

TEST(ParseHttpDateTest, ImpossibleAndForeignDatesAreFalse) {
  EXPECT_FALSE(Parsed(""));
  EXPECT_FALSE(Parsed("   "));
  EXPECT_FALSE(Parsed("Sun, 31 Nov 1994 08:49:37 GMT"));
  EXPECT_FALSE(Parsed("1994-11-06"));
  EXPECT_FALSE(Parsed("1994-11-06T08:49:37Z"));
  EXPECT_FALSE(Parsed("29 Feb 1900"));
  EXPECT_TRUE(Parsed("29 Feb 2000"));
  EXPECT_FALSE(Parsed("00 Nov 1994"));
  EXPECT_FALSE(Parsed("06 Nov 1899"));
  EXPECT_FALSE(Parsed("06 Nov 2201"));
  EXPECT_FALSE(Parsed("Sun, 06 Nov GMT"));
}

TEST(ParseHttpDateTest, TimeRulesAndTheTokenLimit) {
  const double date = EncodeDate(1994, 11, 6);
  // A time out of range drops the time and the offset, not the date.
  EXPECT_NEAR(*Parsed("06 Nov 1994 25:00:00 +0100"), date, kTolerance);
  EXPECT_NEAR(*Parsed("06 Nov 1994 23:59:60"), date, kTolerance);
  // The last time wins; parts that are no integers count as 0.
  EXPECT_NEAR(*Parsed("06 Nov 1994 01:02:03 04:05:06"), DateTime(1994, 11, 6, 4, 5, 6), kTolerance);
  EXPECT_NEAR(*Parsed("06 Nov 1994 07:xx:09"), DateTime(1994, 11, 6, 7, 0, 9), kTolerance);
  std::string padding;
  for (int i = 0; i < 28; ++i) padding += "x ";
  EXPECT_TRUE(Parsed(padding + "06 Nov 1994"));
  EXPECT_FALSE(Parsed(padding + "x 06 Nov 1994"));
}

TEST(MonthIndexTest, WholeNamesInAnyCase) {
  EXPECT_EQ(MonthIndex("Jan"), 1);
  EXPECT_EQ(MonthIndex("dEC"), 12);
  EXPECT_EQ(MonthIndex("Sept"), 0);
  EXPECT_EQ(MonthIndex("Ja"), 0);
  EXPECT_EQ(MonthIndex(""), 0);
}

TEST(TimeZoneBiasTest, AppliedBothWaysAndZeroStaysZero) {
  const testing_support::EnvironmentScope zone("TZ", "XYZ+5");  // five hours behind UTC
  EXPECT_NEAR(LocalToUtc(100.0), 100.0 + 5.0 / 24, kTolerance);
  EXPECT_NEAR(UtcToLocal(100.0), 100.0 - 5.0 / 24, kTolerance);
  EXPECT_EQ(LocalToUtc(0), 0);
  EXPECT_EQ(UtcToLocal(0), 0);
}

TEST(TimeZoneBiasTest, LocalNowIsTheClockInLocalTime) {
  const testing_support::EnvironmentScope zone("TZ", "XYZ-3");
  const double utcNow = UnixTimeToDateTime(std::time(nullptr), 0);
  EXPECT_NEAR(LocalToUtc(LocalNow()), utcNow, 5 * kOneSecond);
  EXPECT_NEAR(LocalNow() - utcNow, 3.0 / 24, 5 * kOneSecond);
}

TEST(FileModifiedUtcTest, ReadsTheLastWriteTimeWithMilliseconds) {
  const testing_support::TempFolder folder;
  const std::string file = folder.Write("page.html", "x");
  using namespace std::chrono;
  const sys_time<milliseconds> written =
      sys_days{year{2009} / 3 / 7} + hours{14} + minutes{5} + seconds{9} + milliseconds{250};
  std::filesystem::last_write_time(file, file_clock::from_sys(written));
  EXPECT_NEAR(FileModifiedUtc(file), DateTime(2009, 3, 7, 14, 5, 9) + 0.25 * kOneSecond,
              kTolerance);
  EXPECT_EQ(FormatHttpDate(FileModifiedUtc(file), false), "Sat, 07 Mar 2009 14:05:09 GMT");
  EXPECT_GT(FileModifiedUtc(folder.Path().string()), 0);
  EXPECT_EQ(FileModifiedUtc(folder.File("missing")), 0);
  EXPECT_EQ(FileModifiedUtc(file + std::string(1, '\0')), 0);
}

}  // namespace
}  // namespace webtessl
