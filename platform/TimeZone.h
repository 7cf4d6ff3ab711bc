#pragma once

#include <cstdint>

namespace webtessl {

// The platform's time-zone information. Thread-safe.

// Minutes that, added to local time, give UTC, under the rule in force at this moment (daylight
// saving included): -60 for Central European Time in winter. 0 when the zone cannot be read. The
// zone is read anew at every call, so a change of the zone (or of daylight saving time) shows at
// once.
int32_t UtcBiasMinutes();

// UtcBiasMinutes as read at most about once a second: calls in the same second of the clock share
// one read, so that concurrent searches do not each read the zone (on Linux a look at the zone
// file under a lock that makes the others wait). A change of the TZ variable still shows at once;
// a change of the zone files, or of daylight saving time, within the second.
int32_t RecentUtcBiasMinutes();

}  // namespace webtessl
