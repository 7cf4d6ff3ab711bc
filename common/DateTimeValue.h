#pragma once

#include <cstdint>
#include <optional>

namespace webtessl {

// Date-time values as the whole program counts them: a double holding days since 1899-12-30
// 00:00, the fraction being the time of day; 0 means "no date". Before 1899-12-30 the whole part
// is negative and the fraction still counts forward from midnight (-1.25 is 1899-12-29 06:00).
// Calendar arithmetic is proleptic Gregorian for years 1 to 9999. Thread-safe: no state.

// The value of 1970-01-01 00:00, the start of Unix time.
constexpr double kUnixEpochDateTime = 25569.0;

// Calendar fields of a date-time value.
struct TDateTimeParts {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int dayOfWeek = 0;  // 0 = Sunday .. 6 = Saturday
};

// True for Gregorian leap years.
bool IsLeapYear(int year);

// Days of the month in that year, 0 for a month outside 1..12.
int DaysInMonth(int year, int month);

// True when year 1..9999, month 1..12 and day 1..DaysInMonth make a date.
bool IsValidDate(int year, int month, int day);

// The value of midnight at the start of a valid date.
double EncodeDate(int year, int month, int day);

// The fraction of a day for a time of day (no range check).
double EncodeTime(int hour, int minute, int second, int millisecond);

// A date value plus a time fraction, following the sign rule for dates before 1899-12-30.
double ComposeDateTime(double date, double time);

// The calendar fields of a value, milliseconds rounded; nothing for values outside years 1..9999
// or not finite.
std::optional<TDateTimeParts> DecodeDateTime(double value);

// The value of a Unix time (seconds since 1970-01-01 00:00 plus milliseconds), same clock.
double UnixTimeToDateTime(int64_t seconds, int32_t milliseconds);

}  // namespace webtessl
