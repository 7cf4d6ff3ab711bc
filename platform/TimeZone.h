#pragma once

#include <cstdint>

namespace webtessl {

// The platform's time-zone information. Thread-safe. A change of the TZ variable shows at once;
// a change of the zone files, or of daylight saving time, within the second (calls within one
// second of the clock may share one read of the zone).

// Minutes that, added to local time, give UTC, under the rule in force at this moment (daylight
// saving included): -60 for Central European Time in winter. 0 when the zone cannot be read.
int32_t UtcBiasMinutes();

}  // namespace webtessl
