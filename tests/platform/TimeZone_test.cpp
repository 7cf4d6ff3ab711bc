#include "platform/TimeZone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace webtessl {
namespace {

TEST(TimeZoneTest, FollowsTzChangesAtEveryCall) {
  std::optional<std::string> previous;
  if (const char* old = std::getenv("TZ")) previous = old;
  setenv("TZ", "UTC0", 1);
  EXPECT_EQ(UtcBiasMinutes(), 0);
  setenv("TZ", "ABC-5:30", 1);
  EXPECT_EQ(UtcBiasMinutes(), -330);
  setenv("TZ", "ABC+8", 1);
  EXPECT_EQ(UtcBiasMinutes(), 480);
  // A zone with daylight saving all year round shows its daylight offset.
  setenv("TZ", "STD+1DST+0,J1/0,J365/24", 1);
  EXPECT_EQ(UtcBiasMinutes(), 0);
  if (previous) {
    setenv("TZ", previous->c_str(), 1);
  } else {
    unsetenv("TZ");
  }
}

}  // namespace
}  // namespace webtessl
