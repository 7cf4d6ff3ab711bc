#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/DateTimeValue.h"
#include "json/superobject.h"
#include "platform/FileSystem.h"

namespace webtessl {

// Completing the desktop application's search results with facts from the file system. All
// functions are thread-safe; a result object belongs to the request that completes it.

// The local last-write time of a file: its text (year-month-day hour:minute:second) and fields.
struct TLastWrite {
  std::string text;
  TDateTimeParts parts;
};

// Replaces the result's "FileName" by "file", "dir", "size", "sizestr", "timestr" and "time",
// taken from the path and the file it names (looked at once). A missing file, or a folder, gives
// size 0; a missing file no time. A folder also gets "folder": true. A value that is not an object
// is left alone.
void CompleteResult(TSuperObject& result);
// CompleteResult with local time taken as UTC shifted by this many minutes (UtcBiasMinutes).
void CompleteResult(TSuperObject& result, int32_t utcBiasMinutes);

// Completes every element of the answer's "results" array, all with the time zone as read once
// at the start; an error raised while completing one result ends that result's completion only.
void CompleteResults(const TSuperArray& results);

// The local last-write time of a file or folder, or nothing when it lies outside the years 1 to
// 9999. Local time is UTC shifted by the zone's offset as UtcBiasMinutes gave it.
std::optional<TLastWrite> LastWriteText(const TFileFacts& facts, int32_t utcBiasMinutes);

// Seconds since 1970-01-01 00:00 of a date-time value, rounded to the nearest second (an exact
// half to the even second).
int64_t ToUnixSeconds(double value);

// The size in KB below 1 MiB, in MB below 1 GiB, else in GB, with at most two decimals (rounded
// half away from zero, trailing zeros dropped) and the regional decimal separator: "1.5 KB".
std::string ResultSizeText(int64_t size);
// ResultSizeText with the given decimal separator.
std::string ResultSizeText(int64_t size, char decimalSeparator);

}  // namespace webtessl
