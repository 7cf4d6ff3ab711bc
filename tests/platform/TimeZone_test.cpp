#include "platform/TimeZone.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/support/EnvironmentScope.h"

namespace webtessl {
namespace {

TEST(TimeZoneTest, FollowsTzChangesAtEveryCall) {
  const testing_support::EnvironmentScope zone("TZ", "UTC0");
  EXPECT_EQ(UtcBiasMinutes(), 0);
  zone.Set("ABC-5:30");
  EXPECT_EQ(UtcBiasMinutes(), -330);
  zone.Set("ABC+8");
  EXPECT_EQ(UtcBiasMinutes(), 480);
  // A zone with daylight saving all year round shows its daylight offset.
  zone.Set("STD+1DST+0,J1/0,J365/24");
  EXPECT_EQ(UtcBiasMinutes(), 0);
}

// The shared read of searches follows the variable at once too, within the same second.
TEST(TimeZoneTest, RecentBiasFollowsTzChangesAtOnce) {
  const testing_support::EnvironmentScope zone("TZ", "UTC0");
  EXPECT_EQ(RecentUtcBiasMinutes(), 0);
  EXPECT_EQ(RecentUtcBiasMinutes(), UtcBiasMinutes());
  zone.Set("ABC-5:30");
  EXPECT_EQ(RecentUtcBiasMinutes(), -330);
  zone.Set("ABC+8");
  EXPECT_EQ(RecentUtcBiasMinutes(), 480);
  zone.Set(std::nullopt);
  EXPECT_EQ(RecentUtcBiasMinutes(), UtcBiasMinutes()) << "no TZ: the system's zone";
}

}  // namespace
}  // namespace webtessl
