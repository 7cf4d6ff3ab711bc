#include "search/ResultCompletion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <iterator>

#include "platform/CodePage.h"
#include "platform/Locale.h"
#include "platform/Paths.h"
#include "platform/TimeZone.h"
#include "text/uEncoding.h"

namespace webtessl {
namespace {

constexpr int64_t kSecondsPerMinute = 60;
constexpr int32_t kNanosecondsPerMillisecond = 1000000;
constexpr double kSecondsPerDay = 86400.0;
// The members a completion adds: file, dir, size, sizestr, timestr, time and perhaps folder.
constexpr size_t kCompletedMembers = 7;

struct TSizeUnit {
  int64_t below;  // sizes below this use the unit
  double divisor;
  const char* suffix;
};
constexpr int64_t kKiB = 1024;
constexpr int64_t kMiB = kKiB * 1024;
constexpr int64_t kGiB = kMiB * 1024;
constexpr TSizeUnit kSizeUnits[] = {
    {kMiB, static_cast<double>(kKiB), " KB"},
    {kGiB, static_cast<double>(kMiB), " MB"},
    {INT64_MAX, static_cast<double>(kGiB), " GB"},
};

const TSizeUnit& UnitOf(int64_t size) {
  for (const TSizeUnit& unit : kSizeUnits) {
    if (size < unit.below) return unit;
  }
  return kSizeUnits[std::size(kSizeUnits) - 1];
}

// The number with at least one integer digit and at most two decimals, trailing zeros dropped.
std::string TwoDecimals(double value, char decimalSeparator) {
  const long long hundredths = std::llround(value * 100);  // halves away from zero
  const long long magnitude = hundredths < 0 ? -hundredths : hundredths;
  std::string text = (hundredths < 0 ? "-" : "") + std::to_string(magnitude / 100);
  const long long decimals = magnitude % 100;
  if (decimals == 0) return text;
  text += decimalSeparator;
  text += static_cast<char>('0' + decimals / 10);
  if (decimals % 10 != 0) text += static_cast<char>('0' + decimals % 10);
  return text;
}

// Appends the number (0 or more) with at least `width` digits, zeros in front.
template <typename Text>
void AppendPadded(Text& text, int value, int width) {
  char digits[16];
  int count = 0;
  for (unsigned rest = static_cast<unsigned>(value); rest > 0 || count < width; rest /= 10) {
    digits[count++] = static_cast<char>('0' + rest % 10);
  }
  while (count > 0) text += static_cast<typename Text::value_type>(digits[--count]);
}

// Year-month-day hour:minute:second, each field zero-padded (the year to four digits), as bytes
// or straight as UTF-16 (the characters are ASCII either way). Written by hand: one result's date
// is on every search's path, and a formatted print costs more.
template <typename Text>
Text CalendarText(const TDateTimeParts& parts) {
  using Char = typename Text::value_type;
  Text text;
  text.reserve(19);
  AppendPadded(text, parts.year, 4);
  text += Char{'-'};
  AppendPadded(text, parts.month, 2);
  text += Char{'-'};
  AppendPadded(text, parts.day, 2);
  text += Char{' '};
  AppendPadded(text, parts.hour, 2);
  text += Char{':'};
  AppendPadded(text, parts.minute, 2);
  text += Char{':'};
  AppendPadded(text, parts.second, 2);
  return text;
}

// The local fields of the file's last write, or nothing outside the years 1 to 9999.
std::optional<TDateTimeParts> LastWriteParts(const TFileFacts& facts, int32_t utcBiasMinutes) {
  const int64_t localSeconds = facts.modified.seconds - utcBiasMinutes * kSecondsPerMinute;
  return DecodeDateTime(
      UnixTimeToDateTime(localSeconds, facts.modified.nanoseconds / kNanosecondsPerMillisecond));
}

// Text of ASCII characters only (a number), as UTF-16 without a code-page conversion.
std::u16string WidenAscii(const std::string& ascii) {
  if (std::any_of(ascii.begin(), ascii.end(), [](char c) { return (c & 0x80) != 0; })) {
    return FromSystemCodePage(ascii);
  }
  return std::u16string(ascii.begin(), ascii.end());
}

// Whether the path comes back from the system code page exactly as it went in, so that its
// folder and name can be cut from the UTF-16 text itself: so with UTF-8, unless a surrogate (a
// lone one would not survive) is in it.
bool RoundTripsUnchanged(std::u16string_view path) {
  return SystemCodePage() == kCodePageUtf8 &&
         std::none_of(path.begin(), path.end(),
                      [](char16_t c) { return c >= 0xD800 && c <= 0xDFFF; });
}

double DateTimeOf(const TDateTimeParts& parts) {
  return ComposeDateTime(EncodeDate(parts.year, parts.month, parts.day),
                         EncodeTime(parts.hour, parts.minute, parts.second, parts.millisecond));
}

// Completes the result from its path as the desktop application gave it (`name`), the same as
// bytes for the file system (`path`) and the facts of the file there.
void Complete(TSuperObject& result, const std::u16string& name, const std::string& path,
              const std::optional<TFileFacts>& facts, int32_t utcBiasMinutes) {
  const std::optional<TDateTimeParts> lastWrite =
      facts ? LastWriteParts(*facts, utcBiasMinutes) : std::nullopt;
  const int64_t size = facts ? facts->size : 0;
  // Room for the members below at once, in the entry "FileName" leaves and beside it.
  result.AsObject()->Reserve(result.AsObject()->Count() + kCompletedMembers);
  result.RemoveMember(u"FileName");
  if (RoundTripsUnchanged(name)) {
    const size_t nameStart = name.rfind(static_cast<char16_t>(kPathDelimiter)) + 1;
    result.SetMemberText(u"file", name.substr(nameStart));
    result.SetMemberText(u"dir", name.substr(0, nameStart));
  } else {
    const size_t nameStart = path.rfind(kPathDelimiter) + 1;  // 0 when there is no folder
    result.SetMemberText(u"file", FromSystemCodePage(path.substr(nameStart)));
    result.SetMemberText(u"dir", FromSystemCodePage(path.substr(0, nameStart)));
  }
  result.SetMemberInt(u"size", size);
  result.SetMemberText(u"sizestr", WidenAscii(ResultSizeText(size)));
  result.SetMemberText(u"timestr",
                       lastWrite ? CalendarText<std::u16string>(*lastWrite) : std::u16string());
  result.SetMemberInt(u"time", lastWrite ? ToUnixSeconds(DateTimeOf(*lastWrite)) : 0);
  // A page must not offer a folder for download; files, the usual results, carry nothing more.
  if (facts && facts->kind == TFileKind::Directory) result.SetMemberBool(u"folder", true);
}

}  // namespace

std::optional<TLastWrite> LastWriteText(const TFileFacts& facts, int32_t utcBiasMinutes) {
  const std::optional<TDateTimeParts> parts = LastWriteParts(facts, utcBiasMinutes);
  if (!parts) return std::nullopt;
  return TLastWrite{CalendarText<std::string>(*parts), *parts};
}

int64_t ToUnixSeconds(double value) {
  // nearbyint rounds in the default mode, to nearest with halves to even.
  return static_cast<int64_t>(std::nearbyint((value - kUnixEpochDateTime) * kSecondsPerDay));
}

std::string ResultSizeText(int64_t size, char decimalSeparator) {
  const TSizeUnit& unit = UnitOf(size);
  return TwoDecimals(static_cast<double>(size) / unit.divisor, decimalSeparator) + unit.suffix;
}

std::string ResultSizeText(int64_t size) {
  return ResultSizeText(size, DecimalSeparator());
}

void CompleteResult(TSuperObject& result) {
  CompleteResult(result, RecentUtcBiasMinutes());
}

void CompleteResult(TSuperObject& result, int32_t utcBiasMinutes) {
  if (result.Kind() != TSuperType::Object) return;
  // The member is held, so that a string's text is read in place while the member is replaced.
  const ISuperObject fileName = result.Member(u"FileName");
  const bool isText = fileName && fileName->Kind() == TSuperType::String;
  const std::u16string otherText = fileName && !isText ? fileName->ValueText() : std::u16string();
  const std::u16string& name = isText ? fileName->AsString() : otherText;
  const std::string path = ToSystemCodePage(name);
  Complete(result, name, path, FileFacts(path), utcBiasMinutes);
}

void CompleteResults(const TSuperArray& results) {
  // One answer is one moment: the zone is read once for all its results (and shared with the
  // searches answered in the same second).
  const int32_t utcBiasMinutes = RecentUtcBiasMinutes();
  for (const ISuperObject& result : results.Elements()) {
    if (!result) continue;
    try {
      CompleteResult(*result, utcBiasMinutes);
    } catch (const std::exception&) {
      // One result that cannot be completed keeps what it has; the others still are.
    }
  }
}

}  // namespace webtessl
