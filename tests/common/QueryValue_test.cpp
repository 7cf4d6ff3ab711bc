#include "common/QueryValue.h"

#include <gtest/gtest.h>

namespace webtessl {
namespace {

TEST(DecodeQueryValueTest, PercentEscapesInEitherCaseAndPlusSigns) {
  EXPECT_EQ(DecodeQueryValue("a%20b%2fc%2Fd"), "a b/c/d");
  EXPECT_EQ(DecodeQueryValue("%C3%A9t%c3%a9"), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(DecodeQueryValue("one+two"), "one two");
  EXPECT_EQ(DecodeQueryValue("C%2B%2B+primer"), "C++ primer");  // only a plus as sent is a space
  EXPECT_EQ(DecodeQueryValue("%2b+%20"), "+  ");
  EXPECT_EQ(DecodeQueryValue("%00x"), std::string("\0x", 2));
  EXPECT_EQ(DecodeQueryValue(""), "");
}

TEST(DecodeQueryValueTest, AnyOtherPercentStays) {
  EXPECT_EQ(DecodeQueryValue("100%zz"), "100%zz");
  EXPECT_EQ(DecodeQueryValue("%g1x"), "%g1x");
  EXPECT_EQ(DecodeQueryValue("%%41"), "%A");
  EXPECT_EQ(DecodeQueryValue("%4g%41"), "%4gA");
}

TEST(DecodeQueryValueTest, PercentAmongTheLastTwoCharactersEndsTheValue) {
  EXPECT_EQ(DecodeQueryValue("abc%"), "abc");
  EXPECT_EQ(DecodeQueryValue("abc%4"), "abc");
  EXPECT_EQ(DecodeQueryValue("abc%zz%4"), "abc%zz");
  EXPECT_EQ(DecodeQueryValue("%"), "");
  EXPECT_EQ(DecodeQueryValue("abc%41"), "abcA");
}

TEST(DecodeQueryValueTest, EscapedLineEndsAreDroppedWithTheirPartner) {
  EXPECT_EQ(DecodeQueryValue("a%\nb"), "ab");
  EXPECT_EQ(DecodeQueryValue("a%\rb"), "ab");
  EXPECT_EQ(DecodeQueryValue("a%\r\nb"), "ab");
  EXPECT_EQ(DecodeQueryValue("a%\n\rb"), "ab");
  EXPECT_EQ(DecodeQueryValue("a%\n\nb"), "a\nb");  // only a different partner goes along
  EXPECT_EQ(DecodeQueryValue("a%\r\n"), "a");
}

}  // namespace
}  // namespace webtessl
