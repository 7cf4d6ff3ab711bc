#include "platform/TimeZone.h"

#include <ctime>

#include "common/Mutex.h"

namespace webtessl {
namespace {

constexpr long kSecondsPerMinute = 60;

// glibc serialises tzset with a lock of its own that thread checkers cannot see; taking ours
// around it keeps connection workers that format dates at the same moment visibly ordered.
TMutex& ZoneLock() {
  static TMutex lock;
  return lock;
}

}  // namespace

int32_t UtcBiasMinutes() {
  // localtime_r may keep the zone it read first; tzset reads TZ and the zone files again.
  const TMutexLock guard(ZoneLock());
  tzset();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr) return 0;
  return static_cast<int32_t>(-local.tm_gmtoff / kSecondsPerMinute);
}

}  // namespace webtessl
