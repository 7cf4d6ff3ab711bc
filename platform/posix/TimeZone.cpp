#include "platform/TimeZone.h"

#include <ctime>

namespace webtessl {
namespace {

constexpr long kSecondsPerMinute = 60;

}  // namespace

int32_t UtcBiasMinutes() {
  // localtime_r may keep the zone it read first; tzset reads TZ and the zone files again.
  tzset();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr) return 0;
  return static_cast<int32_t>(-local.tm_gmtoff / kSecondsPerMinute);
}

}  // namespace webtessl
