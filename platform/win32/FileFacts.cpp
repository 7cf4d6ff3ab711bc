#include "platform/win32/FileFacts.h"

namespace webtessl::win32 {
namespace {

// 100-nanosecond intervals between 1601-01-01 (file times) and 1970-01-01 (TFileTime).
constexpr int64_t kFileTimeTo1970 = 116444736000000000;
constexpr int64_t kIntervalsPerSecond = 10000000;
constexpr int32_t kNanosecondsPerInterval = 100;

TFileTime FromFileTime(const FILETIME& time) {
  const int64_t intervals =
      (static_cast<int64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime) - kFileTimeTo1970;
  int64_t seconds = intervals / kIntervalsPerSecond;
  int64_t rest = intervals % kIntervalsPerSecond;
  if (rest < 0) {
    --seconds;
    rest += kIntervalsPerSecond;
  }
  return {seconds, static_cast<int32_t>(rest) * kNanosecondsPerInterval};
}

}  // namespace

TFileFacts FactsOf(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME& written) {
  TFileFacts facts;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    facts.kind = TFileKind::Directory;
  } else if ((attributes & FILE_ATTRIBUTE_DEVICE) == 0) {
    facts.kind = TFileKind::File;
    facts.size = static_cast<int64_t>(static_cast<uint64_t>(sizeHigh) << 32 | sizeLow);
  }
  facts.modified = FromFileTime(written);
  return facts;
}

}  // namespace webtessl::win32
