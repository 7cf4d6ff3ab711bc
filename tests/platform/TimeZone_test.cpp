#include "platform/TimeZone.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace webtessl
