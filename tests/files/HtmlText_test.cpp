#include "files/HtmlText.h"

#include <gtest/gtest.h>

namespace webtessl {
namespace {

TEST(HtmlTextTest, EscapesMarkupCharacters) {
  EXPECT_EQ(EscapeHtml("<a href=\"x\">Tom & Jerry's</a>"),
            "&lt;a href=&quot;x&quot;&gt;Tom &amp; Jerry&#39;s&lt;/a&gt;");
  EXPECT_EQ(EscapeHtml("plain \xC3\xA4"), "plain \xC3\xA4");
}

TEST(HtmlTextTest, PercentEncodesWhatAPathCannotHold) {
  EXPECT_EQ(EncodeUrlPath("a b#c?d%e/f+g;h=i@j:k~l"), "a%20b%23c%3Fd%25e/f+g;h=i@j:k~l");
  EXPECT_EQ(EncodeUrlPath("\xC3\xA4\x01\x7F\"<>\\"), "%C3%A4%01%7F%22%3C%3E%5C");
  EXPECT_EQ(EncodeUrlPath(std::string("a\0b", 3)), "a%00b");
}

}  // namespace
}  // namespace webtessl
