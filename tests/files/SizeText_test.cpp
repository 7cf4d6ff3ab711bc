#include "files/SizeText.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Locale.h"

namespace webtessl {
namespace {

TEST(SizeToTextTest, PicksTheUnitByItsInclusiveBound) {
  const std::string point(1, DecimalSeparator());
  const int64_t kKiB = 1024;
  const int64_t kMiB = kKiB * 1024;
  const int64_t kGiB = kMiB * 1024;
  const int64_t kTiB = kGiB * 1024;
  EXPECT_EQ(SizeToText(0), "0  b");
  EXPECT_EQ(SizeToText(512), "512  b");
  EXPECT_EQ(SizeToText(kKiB), "1024  b");
  EXPECT_EQ(SizeToText(kKiB + 1), "1" + point + "0 kb");
  EXPECT_EQ(SizeToText(1536), "1" + point + "5 kb");
  EXPECT_EQ(SizeToText(kMiB), "1024" + point + "0 kb");
  EXPECT_EQ(SizeToText(kMiB + kMiB / 2), "1" + point + "5 Mb");
  EXPECT_EQ(SizeToText(kGiB), "1024" + point + "0 Mb");
  EXPECT_EQ(SizeToText(3 * kGiB), "3" + point + "0 Gb");
  EXPECT_EQ(SizeToText(kTiB), "1024" + point + "0 Gb");
  EXPECT_EQ(SizeToText(5 * kTiB / 2), "2" + point + "5 Tb");
  EXPECT_EQ(SizeToText(INT64_MAX), "8388608" + point + "0 Tb");
  EXPECT_EQ(SizeToText(-1), "-1  b");
}

}  // namespace
}  // namespace webtessl
