#include "platform/TimeZone.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

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

// The bias at the moment, with the zone read again: 0 when it cannot be read.
int32_t ReadBiasAt(std::time_t now) EXCLUDES(ZoneLock()) {
  // localtime_r may keep the zone it read first; tzset reads TZ and the zone files again.
  const TMutexLock guard(ZoneLock());
  tzset();
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return 0;
  return static_cast<int32_t>(-local.tm_gmtoff / kSecondsPerMinute);
}

// The bias as last read, with the second it was read in and the TZ variable it was read under.
class TRecentBias {
 public:
  int32_t At(std::time_t now) EXCLUDES(lock_) {
    const TMutexLock guard(lock_);
    const char* zoneVariable = std::getenv("TZ");
    if (second_ != now || !SameVariable(zoneVariable)) {
      bias_ = ReadBiasAt(now);
      second_ = now;
      zoneVariable_ = zoneVariable != nullptr ? std::optional<std::string>(zoneVariable)
                                              : std::nullopt;
    }
    return bias_;
  }

 private:
  // Compared in place: a search pays no copy of the variable unless it changed.
  bool SameVariable(const char* zoneVariable) const REQUIRES(lock_) {
    return zoneVariable == nullptr ? !zoneVariable_
                                   : zoneVariable_ && *zoneVariable_ == zoneVariable;
  }

  TMutex lock_;
  std::time_t second_ GUARDED_BY(lock_) = -1;
  std::optional<std::string> zoneVariable_ GUARDED_BY(lock_);
  int32_t bias_ GUARDED_BY(lock_) = 0;
};

}  // namespace

int32_t UtcBiasMinutes() {
  const std::time_t now = std::time(nullptr);
  return now == static_cast<std::time_t>(-1) ? 0 : ReadBiasAt(now);
}

int32_t RecentUtcBiasMinutes() {
  static TRecentBias recent;
  const std::time_t now = std::time(nullptr);
  return now == static_cast<std::time_t>(-1) ? 0 : recent.At(now);
}

}  // namespace webtessl
