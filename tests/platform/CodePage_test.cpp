#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace webtessl {
namespace {

TEST(CodePageTest, Utf8IsTheDefaultSystemCodePage) {
  // The test runner's locale is C or a UTF-8 one, never Latin-1.
  EXPECT_EQ(SystemCodePage(), kCodePageUtf8);
  EXPECT_EQ(CodePageMaxCharSize(kCodePageSystem), 4);
}

TEST(CodePageTest, LatinOneLocalesGiveWindows1252) {
  for (const char* locale : {"de_DE.ISO-8859-1", "fr_FR.iso88591@euro", "en_GB.ISO-8859-15",
                             "nl_NL.CP1252", "pt_BR.latin1"}) {
    EXPECT_EQ(CodePageOfLocale(locale), kCodePageWindows1252) << locale;
  }
  for (const char* locale :
       {"", "C", "POSIX", "C.UTF-8", "en_US.utf8", "de_DE.UTF-8@euro", "ru_RU.KOI8-R", "de_DE"}) {
    EXPECT_EQ(CodePageOfLocale(locale), kCodePageUtf8) << locale;
  }
}

TEST(CodePageTest, KnownAndUnknownCodePages) {
  EXPECT_EQ(CodePageMaxCharSize(kCodePageUtf8), 4);
  EXPECT_EQ(CodePageMaxCharSize(kCodePageWindows1252), 1);
  EXPECT_EQ(CodePageMaxCharSize(37), std::nullopt);
  EXPECT_EQ(MultiByteToWide(37, "abc"), u"");
  EXPECT_EQ(WideToMultiByte(37, u"abc", '?'), "");
}

TEST(CodePageTest, Utf8ConversionsRoundTripEveryPlane) {
  const std::u16string text = u"a\u00E9\u20AC\U0001F600z";
  const std::string bytes = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
  EXPECT_EQ(WideToMultiByte(kCodePageUtf8, text, '?'), bytes);
  EXPECT_EQ(MultiByteToWide(kCodePageUtf8, bytes), text);
}

TEST(CodePageTest, InvalidUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(MultiByteToWide(kCodePageUtf8, "a\xC3"), u"a\uFFFD");
  EXPECT_EQ(MultiByteToWide(kCodePageUtf8, "\xC0\xAF"), u"\uFFFD\uFFFD");    // overlong
  EXPECT_EQ(MultiByteToWide(kCodePageUtf8, "\xED\xA0\x80"), u"\uFFFD");      // surrogate
  EXPECT_EQ(MultiByteToWide(kCodePageUtf8, "\xF4\x90\x80\x80"), u"\uFFFD");  // above U+10FFFF
  EXPECT_EQ(MultiByteToWide(kCodePageUtf8, "\x80x"), u"\uFFFDx");
  EXPECT_EQ(WideToMultiByte(kCodePageUtf8, u"\xD800x", '?'), "\xEF\xBF\xBDx");  // lone surrogate
}

TEST(CodePageTest, Windows1252MapsItsHighBytes) {
  EXPECT_EQ(MultiByteToWide(kCodePageWindows1252, "\x80\x9F\xE9\xFF"), u"\u20AC\u0178\u00E9\u00FF");
  EXPECT_EQ(WideToMultiByte(kCodePageWindows1252, u"\u20AC\u0178\u00E9\u00FF", '?'),
            "\x80\x9F\xE9\xFF");
  // Every byte survives the round trip, the five without a character of their own included.
  std::string allBytes;
  for (int b = 0; b < 256; ++b) allBytes += static_cast<char>(b);
  EXPECT_EQ(
      WideToMultiByte(kCodePageWindows1252, MultiByteToWide(kCodePageWindows1252, allBytes), '?'),
      allBytes);
}

TEST(CodePageTest, Windows1252LacksMostCharacters) {
  EXPECT_EQ(WideToMultiByte(kCodePageWindows1252, u"a\u0100\u4E2D\U0001F600\u0080b", '?'),
            "a?????b");
  EXPECT_EQ(WideToMultiByte(kCodePageWindows1252, u"\u4E2D", '#'), "#");
}

}  // namespace
}  // namespace webtessl
