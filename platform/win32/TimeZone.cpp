// Win32 backend of platform/TimeZone.h.

#include "platform/TimeZone.h"

#include "platform/win32/WinApi.h"

namespace webtessl {

// The bias of the zone plus the bias of the part of the year in force now.
int32_t UtcBiasMinutes() {
  TIME_ZONE_INFORMATION zone{};
  switch (::GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_STANDARD:
      return zone.Bias + zone.StandardBias;
    case TIME_ZONE_ID_DAYLIGHT:
      return zone.Bias + zone.DaylightBias;
    case TIME_ZONE_ID_UNKNOWN:
      return zone.Bias;
    default:
      return 0;
  }
}

// The system keeps the zone's facts at hand: reading them costs no look at a file, so every call
// reads them.
int32_t RecentUtcBiasMinutes() {
  return UtcBiasMinutes();
}

}  // namespace webtessl
