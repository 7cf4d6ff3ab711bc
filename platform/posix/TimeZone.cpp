#include "platform/TimeZone.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <utility>

#include "common/Mutex.h"

namespace webtessl {
namespace {

constexpr long kSecondsPerMinute = 60;

// The bias as last read, with the second it was read in and the TZ variable it was read under.
// Searches at the same moment share one read: reading means tzset, a look at the zone file,
// under a lock that would otherwise make every concurrent search wait for the others' looks.
class TZoneReading {
 public:
  int32_t BiasAt(std::time_t now) EXCLUDES(lock_) {
    const TMutexLock guard(lock_);
    std::optional<std::string> zoneVariable;
    if (const char* value = std::getenv("TZ")) zoneVariable = value;
    if (second_ == now && zoneVariable_ == zoneVariable) return bias_;
    // localtime_r may keep the zone it read first; tzset reads TZ and the zone files again.
    // glibc serialises tzset with a lock of its own that thread checkers cannot see; holding
    // ours around it keeps connection workers that read the zone at once visibly ordered.
    tzset();
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) return 0;
    second_ = now;
    zoneVariable_ = std::move(zoneVariable);
    bias_ = static_cast<int32_t>(-local.tm_gmtoff / kSecondsPerMinute);
    return bias_;
  }

 private:
  TMutex lock_;
  std::time_t second_ GUARDED_BY(lock_) = -1;
  std::optional<std::string> zoneVariable_ GUARDED_BY(lock_);
  int32_t bias_ GUARDED_BY(lock_) = 0;
};

}  // namespace

int32_t UtcBiasMinutes() {
  static TZoneReading reading;
  const std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1)) return 0;
  return reading.BiasAt(now);
}

}  // namespace webtessl
