#include "http/HttpDates.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <string_view>

#include "common/AsciiText.h"
#include "common/DateTimeValue.h"
#include "common/IntegerText.h"
#include "http/HeaderValues.h"
#include "platform/FileSystem.h"
#include "platform/TimeZone.h"

namespace webtessl {
namespace {

constexpr std::array<std::string_view, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed",
                                                        "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::string_view kGmtSuffix = " GMT";
// "Sun, 06 Nov 1994 08:49:37 GMT"
constexpr size_t kHttpDateLength = 29;

constexpr double kMinutesPerDay = 1440.0;
constexpr double kHoursPerDay = 24.0;
constexpr int kNanosecondsPerMillisecond = 1000000;

// The parser reads at most this many tokens; the one that reaches the count is not looked at.
constexpr int kTokenLimit = 32;
constexpr int kMinYear = 1900;
constexpr int kMaxYear = 9999;
constexpr int kMinTokenYear = 1900;
constexpr int kMaxTokenYear = 2200;
// Two-digit years up to the pivot belong to this century, the others to the last one.
constexpr int kTwoDigitYearLimit = 100;
constexpr int kTwoDigitYearPivot = 50;
constexpr int kThisCentury = 2000;
constexpr int kLastCentury = 1900;

// Appends the last `width` decimal digits of the number (0 or more), zeros in front.
void AppendDigits(std::string& text, int value, int width) {
  char digits[4];
  for (int i = width - 1; i >= 0; --i, value /= 10) digits[i] = static_cast<char>('0' + value % 10);
  text.append(digits, static_cast<size_t>(width));
}

// The fields a date text has shown so far; 0 is "not seen" for the date fields.
struct TDateFields {
  int day = 0;
  int month = 0;
  int year = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  double offset = 0;  // days to add to reach UTC
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The token's value when it starts with a digit and is a whole integer, else -1.
int TokenNumber(std::string_view token) {
  if (token.empty() || !IsDigit(token.front())) return -1;
  return TryStrToInt(token).value_or(-1);
}

int IntegerOrZero(std::string_view text) {
  return TryStrToInt(text).value_or(0);
}

void ReadZoneOffset(std::string_view token, TDateFields& fields) {
  if ((token[0] != '+' && token[0] != '-') || token[1] < '0' || token[1] > '2') return;
  const auto hours = TryStrToInt(token.substr(1, 2));
  const auto minutes = TryStrToInt(token.substr(3, 2));
  if (!hours || !minutes || *hours < 0 || *minutes < 0) return;
  const double offset = *hours / kHoursPerDay + *minutes / kMinutesPerDay;
  fields.offset = token[0] == '+' ? -offset : offset;
}

// "08:49:37": hour, minute and second, each 0 when it is not an integer.
void ReadTime(std::string_view token, TDateFields& fields) {
  const size_t first = token.find(':');
  const size_t second = token.find(':', first + 1);
  fields.hour = IntegerOrZero(token.substr(0, first));
  fields.minute = IntegerOrZero(
      token.substr(first + 1, second == std::string_view::npos ? second : second - first - 1));
  fields.second = second == std::string_view::npos ? 0 : IntegerOrZero(token.substr(second + 1));
}

// "06-Nov-94": day, month name and year joined by hyphens.
void ReadHyphenatedDate(std::string_view token, TDateFields& fields) {
  const size_t first = token.find('-');
  const size_t second = token.find('-', first + 1);
  fields.day = IntegerOrZero(token.substr(0, first));
  const size_t monthLength = second == std::string_view::npos ? second : second - first - 1;
  fields.month = MonthIndex(token.substr(first + 1, monthLength));
  if (fields.month == 0) return;
  int year =
      second == std::string_view::npos ? -1 : TryStrToInt(token.substr(second + 1)).value_or(-1);
  // Only a two-digit year needs its century; a four-digit one is taken as written.
  if (year >= 0 && year < kTwoDigitYearLimit) {
    year += year <= kTwoDigitYearPivot ? kThisCentury : kLastCentury;
  }
  fields.year = year;
}

void ReadToken(std::string_view token, TDateFields& fields) {
  const int number = TokenNumber(token);
  switch (token.size()) {
    case 1:
    case 2:
      if (fields.day == 0 && number > 0) fields.day = number;
      return;
    case 3:
      if (fields.month == 0 && number < 0) fields.month = MonthIndex(token);
      return;
    case 4:
      if (fields.year == 0 && number >= kMinTokenYear && number <= kMaxTokenYear) {
        fields.year = number;
      }
      return;
    case 5:
      ReadZoneOffset(token, fields);
      return;
    default:
      if (token.find(':') != std::string_view::npos) {
        ReadTime(token, fields);
      } else if (fields.day == 0 && token.find('-') != std::string_view::npos) {
        ReadHyphenatedDate(token, fields);
      }
  }
}

bool IsValidTime(const TDateFields& fields) {
  return fields.hour >= 0 && fields.hour <= 23 && fields.minute >= 0 && fields.minute <= 59 &&
         fields.second >= 0 && fields.second <= 59;
}

}  // namespace

std::string FormatHttpDate(double value, bool convertToUtc) {
  if (!(value > 1.0)) return {};
  if (convertToUtc) value = LocalToUtc(value);
  const auto parts = DecodeDateTime(value);
  if (!parts) return {};
  // Written by hand: every response carries a date, and a formatted print costs more.
  std::string text;
  text.reserve(kHttpDateLength);
  text += kDayNames[static_cast<size_t>(parts->dayOfWeek)];
  text += ", ";
  AppendDigits(text, parts->day, 2);
  text += ' ';
  text += kMonthNames[static_cast<size_t>(parts->month - 1)];
  text += ' ';
  AppendDigits(text, parts->year, 4);
  text += ' ';
  AppendDigits(text, parts->hour, 2);
  text += ':';
  AppendDigits(text, parts->minute, 2);
  text += ':';
  AppendDigits(text, parts->second, 2);
  text += kGmtSuffix;
  return text;
}

bool ParseHttpDate(std::string_view text, double& value) {
  value = 0;
  TDateFields fields;
  int tokens = 0;
  while (!text.empty()) {
    const std::string token = FetchTrimmed(text, " ");
    if (token.empty()) continue;
    if (++tokens >= kTokenLimit) break;
    ReadToken(token, fields);
  }
  if (fields.year < kMinYear || fields.year > kMaxYear ||
      !IsValidDate(fields.year, fields.month, fields.day)) {
    return false;
  }
  value = EncodeDate(fields.year, fields.month, fields.day);
  if (IsValidTime(fields))
    value += EncodeTime(fields.hour, fields.minute, fields.second, 0) + fields.offset;
  return true;
}

double TimeZoneBias() {
  return UtcBiasMinutes() / kMinutesPerDay;
}

double LocalToUtc(double value) {
  return value == 0 ? 0 : value + TimeZoneBias();
}

double UtcToLocal(double value) {
  return value == 0 ? 0 : value - TimeZoneBias();
}

double LocalNow() {
  return UtcToLocal(UtcNow());
}

double UtcNow() {
  using namespace std::chrono;
  const auto sinceEpoch =
      duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  const int64_t seconds = sinceEpoch / 1000;
  return UnixTimeToDateTime(seconds, static_cast<int32_t>(sinceEpoch - seconds * 1000));
}

std::string CurrentHttpDate() {
  // Plain values, so that a thread's copies need nothing done at its end.
  thread_local int64_t writtenSecond = -1;
  thread_local char written[kHttpDateLength];
  using namespace std::chrono;
  const int64_t second = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
  if (second != writtenSecond) {
    std::string text = FormatHttpDate(UnixTimeToDateTime(second, 0), false);
    if (text.size() != kHttpDateLength) return text;  // not a date this clock should give
    std::copy(text.begin(), text.end(), written);
    writtenSecond = second;
    return text;
  }
  return std::string(written, kHttpDateLength);
}

double FileModifiedUtc(std::string_view fileName) {
  const auto facts = FileFacts(fileName);
  if (!facts) return 0;
  return FileTimeToDateTime(facts->modified);
}

double FileTimeToDateTime(const TFileTime& time) {
  return UnixTimeToDateTime(time.seconds, time.nanoseconds / kNanosecondsPerMillisecond);
}

int MonthIndex(std::string_view name) {
  for (size_t i = 0; i < kMonthNames.size(); ++i) {
    if (SameText(name, kMonthNames[i])) return static_cast<int>(i) + 1;
  }
  return 0;
}

}  // namespace webtessl
