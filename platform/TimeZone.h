#pragma once

#include <cstdint>

namespace webtessl {

// The platform's time-zone information. Thread-safe; the zone is read anew at every call, so a
// change of the zone (or of daylight saving time) shows at once.

// Minutes that, added to local time, give UTC, under the rule in force at this moment (daylight
// saving included): -60 for Central European Time in winter. 0 when the zone cannot be read.
int32_t UtcBiasMinutes();

}  // namespace webtessl
