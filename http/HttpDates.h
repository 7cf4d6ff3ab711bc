#pragma once

#include <string>
#include <string_view>

#include "platform/FileSystem.h"

namespace webtessl {

// HTTP dates and the local/UTC conversion of date-time values (days since 1899-12-30 as a double,
// 0 meaning "no date"; see common/DateTimeValue.h). Thread-safe: no state; the time zone is read
// from the platform at every call.

// "Sun, 06 Nov 1994 08:49:37 GMT" for the value (milliseconds dropped); "" for values up to 1.0
// or outside the years 1 to 9999. With convertToUtc the value is local time and first goes through
// LocalToUtc.
std::string FormatHttpDate(double value, bool convertToUtc);

// Reads any of the three HTTP date forms (also numeric zone offsets and hyphenated dates) into a
// UTC value; false, with the value 0, when the text holds no valid date. Never raises.
bool ParseHttpDate(std::string_view text, double& value);

// Days that, added to local time, give UTC under the zone rule in force now.
double TimeZoneBias();

// The local value in UTC; 0 stays 0.
double LocalToUtc(double value);

// The UTC value in local time; 0 stays 0.
double UtcToLocal(double value);

// The current local time.
double LocalNow();
// The current time in UTC.
double UtcNow();
// FormatHttpDate of UtcNow(): the response date. Kept per thread for the second it names, since
// every response carries one and a second serves many.
std::string CurrentHttpDate();

// Last-write time of the file or folder in UTC, milliseconds included; 0 when it is not found.
double FileModifiedUtc(std::string_view fileName);
// A file time as a date-time value in UTC, milliseconds included.
double FileTimeToDateTime(const TFileTime& time);

// 1..12 for the English month abbreviations "Jan" to "Dec" (ASCII case-insensitive), else 0.
int MonthIndex(std::string_view name);

}  // namespace webtessl
