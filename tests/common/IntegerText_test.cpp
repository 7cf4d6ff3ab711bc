#include "common/IntegerText.h"

#include <gtest/gtest.h>

namespace webtessl {
namespace {

TEST(IntegerTextTest, DecimalWithBlanksAndSign) {
  EXPECT_EQ(TryStrToInt("20800"), 20800);
  EXPECT_EQ(TryStrToInt("   20800"), 20800);
  EXPECT_EQ(TryStrToInt("+7"), 7);
  EXPECT_EQ(TryStrToInt("-7"), -7);
  EXPECT_EQ(TryStrToInt("0000000000000000000042"), 42);
  EXPECT_EQ(TryStrToInt("2147483647"), 2147483647);
  EXPECT_EQ(TryStrToInt("-2147483648"), INT32_MIN);
}

TEST(IntegerTextTest, HexadecimalPrefixesAndThe32BitPattern) {
  for (const char* text : {"$5140", "x5140", "X5140", "0x5140", "0X5140", "  0x5140", "$005140"}) {
    EXPECT_EQ(TryStrToInt(text), 20800) << text;
  }
  EXPECT_EQ(TryStrToInt("$ff"), 255);
  EXPECT_EQ(TryStrToInt("$FFFFFFFF"), -1);
  EXPECT_EQ(TryStrToInt("0x80000000"), INT32_MIN);
  EXPECT_EQ(TryStrToInt("-$10"), -16);
  EXPECT_EQ(TryStrToInt("-$FFFFFFFF"), 1);
  EXPECT_EQ(TryStrToInt("$100000000"), std::nullopt);
}

TEST(IntegerTextTest, AnythingElseGivesNothing) {
  for (const char* text :
       {"", " ", "-", "+", "$", "0x", "20800abc", "20800 ", "1.5", "2147483648", "-2147483649",
        "99999999999999999999", "$G", "--1", "+-1", "\t1", "true", "1e3", "0x-5"}) {
    EXPECT_EQ(TryStrToInt(text), std::nullopt) << '"' << text << '"';
  }
  EXPECT_EQ(TryStrToInt(std::string{'1', '\0', '2'}), std::nullopt);
}

TEST(IntegerTextTest, DefaultOnlyWhenTheTextDoesNotConvert) {
  EXPECT_EQ(StrToIntDef("20800abc", 25), 25);
  EXPECT_EQ(StrToIntDef("", -3), -3);
  EXPECT_EQ(StrToIntDef("0", 25), 0);
  EXPECT_EQ(StrToIntDef("-1", 25), -1);
}

}  // namespace
}  // namespace webtessl
