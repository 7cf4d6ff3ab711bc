#include "common/CommaText.h"

#include <gtest/gtest.h>

namespace webtessl {
namespace {

using Items = std::vector<std::string>;

TEST(SplitCommaTextTest, PlainItemsEndAtCommasAndBlanks) {
  EXPECT_EQ(SplitCommaText("/a,/b"), (Items{"/a", "/b"}));
  EXPECT_EQ(SplitCommaText("  /a ,  /b  "), (Items{"/a", "/b"}));
  EXPECT_EQ(SplitCommaText("/Program Files"), (Items{"/Program", "Files"}));
  EXPECT_EQ(SplitCommaText("a\tb\nc"), (Items{"a", "b", "c"}));
  EXPECT_EQ(SplitCommaText("a\"b"), (Items{"a\"b"}));
}

TEST(SplitCommaTextTest, QuotedItemsKeepBlanksAndCommas) {
  EXPECT_EQ(SplitCommaText("\"/Program Files\",/x"), (Items{"/Program Files", "/x"}));
  EXPECT_EQ(SplitCommaText("\"a,b\""), (Items{"a,b"}));
  EXPECT_EQ(SplitCommaText("\"say \"\"hi\"\"\""), (Items{"say \"hi\""}));
  EXPECT_EQ(SplitCommaText("\"open"), (Items{"open"}));
  EXPECT_EQ(SplitCommaText("\"a\"b"), (Items{"a", "b"}));
}

TEST(SplitCommaTextTest, EmptyItems) {
  EXPECT_EQ(SplitCommaText(""), Items{});
  EXPECT_EQ(SplitCommaText("   "), Items{});
  EXPECT_EQ(SplitCommaText("a,,b"), (Items{"a", "", "b"}));
  EXPECT_EQ(SplitCommaText(",a"), (Items{"", "a"}));
  EXPECT_EQ(SplitCommaText("a,"), (Items{"a", ""}));
  EXPECT_EQ(SplitCommaText("a, "), (Items{"a"}));  // only a comma that ends the text adds one
  EXPECT_EQ(SplitCommaText("\"\""), (Items{""}));
}

TEST(SplitCommaTextTest, NulEndsTheText) {
  EXPECT_EQ(SplitCommaText(std::string_view("a,b\0,c", 6)), (Items{"a", "b"}));
}

}  // namespace
}  // namespace webtessl
