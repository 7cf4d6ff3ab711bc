#include "common/DateTimeValue.h"

#include <cmath>

namespace webtessl {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMillisecondsPerDay = 86400000;
constexpr int64_t kMillisecondsPerSecond = 1000;
constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;
constexpr int kDaysPerWeek = 7;
// 1899-12-30, day 0 of date-time values, was a Saturday.
constexpr int kDayOfWeekAtZero = 6;
// Day 0 of date-time values counted from 1970-01-01.
constexpr int64_t kDayZeroFromUnixEpoch = -25569;

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian), valid for any year.
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = FloorDiv(year, 400);
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The civil date of a day count since 1970-01-01.
void CivilFromDays(int64_t days, TDateTimeParts& parts) {
  days += 719468;
  const int64_t era = FloorDiv(days, 146097);
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  parts.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  parts.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  parts.year = static_cast<int>(yearOfEra + era * 400 + (parts.month <= 2 ? 1 : 0));
}

}  // namespace

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) {
  return year >= kMinYear && year <= kMaxYear && day >= 1 && day <= DaysInMonth(year, month);
}

double EncodeDate(int year, int month, int day) {
  return static_cast<double>(DaysFromCivil(year, month, day) - kDayZeroFromUnixEpoch);
}

double EncodeTime(int hour, int minute, int second, int millisecond) {
  const int64_t milliseconds =
      ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * kMillisecondsPerSecond +
      millisecond;
  return static_cast<double>(milliseconds) / kMillisecondsPerDay;
}

double ComposeDateTime(double date, double time) {
  return date < 0 ? date - time : date + time;
}

std::optional<TDateTimeParts> DecodeDateTime(double value) {
  static const double kLowest = EncodeDate(kMinYear, 1, 1);
  static const double kBeyond = EncodeDate(kMaxYear, 12, 31) + 1;
  if (!std::isfinite(value) || value <= kLowest - 1 || value >= kBeyond) return std::nullopt;
  int64_t day = static_cast<int64_t>(std::trunc(value));
  int64_t milliseconds = std::llround(std::fabs(value - std::trunc(value)) * kMillisecondsPerDay);
  if (milliseconds >= kMillisecondsPerDay) {
    milliseconds -= kMillisecondsPerDay;
    ++day;
  }
  if (day < kLowest || day >= kBeyond) return std::nullopt;
  TDateTimeParts parts;
  CivilFromDays(day + kDayZeroFromUnixEpoch, parts);
  parts.hour = static_cast<int>(milliseconds / 3600000);
  parts.minute = static_cast<int>(milliseconds / 60000 % 60);
  parts.second = static_cast<int>(milliseconds / kMillisecondsPerSecond % 60);
  parts.millisecond = static_cast<int>(milliseconds % kMillisecondsPerSecond);
  parts.dayOfWeek =
      static_cast<int>((day % kDaysPerWeek + kDaysPerWeek + kDayOfWeekAtZero) % kDaysPerWeek);
  return parts;
}

double UnixTimeToDateTime(int64_t seconds, int32_t milliseconds) {
  const int64_t days = FloorDiv(seconds, kSecondsPerDay);
  const int64_t secondOfDay = seconds - days * kSecondsPerDay;
  const double date = static_cast<double>(days - kDayZeroFromUnixEpoch);
  const double time = static_cast<double>(secondOfDay * kMillisecondsPerSecond + milliseconds) /
                      kMillisecondsPerDay;
  return ComposeDateTime(date, time);
}

}  // namespace webtessl
