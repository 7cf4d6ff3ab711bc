#include "common/Int64Text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace webtessl {
namespace {

TEST(Int64TextTest, ReadsDecimalAndHexadecimalForms) {
  EXPECT_EQ(TryStrToInt64("5368709120"), int64_t{5368709120});
  EXPECT_EQ(TryStrToInt64("  -42"), -42);
  EXPECT_EQ(TryStrToInt64("+7"), 7);
  EXPECT_EQ(TryStrToInt64("$10"), 16);
  EXPECT_EQ(TryStrToInt64("0x1F"), 31);
  EXPECT_EQ(TryStrToInt64("X1f"), 31);
  EXPECT_EQ(TryStrToInt64("9223372036854775807"), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(TryStrToInt64("-9223372036854775808"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(TryStrToInt64("$FFFFFFFFFFFFFFFF"), -1);
}

TEST(Int64TextTest, RefusesAnythingElse) {
  for (const char* text :
       {"", " ", "-", "$", "12a", "1 ", "9223372036854775808", "0x", "1.5", "$10000000000000000"}) {
    EXPECT_FALSE(TryStrToInt64(text).has_value()) << text;
  }
  EXPECT_EQ(StrToInt64Def("abc", -1), -1);
}

}  // namespace
}  // namespace webtessl
