#include "tessel/CaseFold.h"

#include <gtest/gtest.h>

namespace webtessl {
namespace {

TEST(CaseFoldTest, FoldsLatinGreekAndCyrillicLetters) {
  EXPECT_EQ(FoldCase("ReadMe.TXT"), "readme.txt");
  EXPECT_EQ(FoldCase("ÀÉÎÕÜÝÞ×"), "àéîõüýþ×");
  EXPECT_EQ(FoldCase("ŁÓDŹ ĀČĘ Ÿ"), "łódź āčę ÿ");
  EXPECT_EQ(FoldCase("ΑΒΓ ΆΈΉΊΌΎΏ ς"), "αβγ άέήίόύώ σ");
  EXPECT_EQ(FoldCase("МОСКВА ЁЖ ЄЇ Ґ"), "москва ёж єї ґ");
  EXPECT_EQ(FoldCase("ẞ Ạ Ỳ"), "ẞ ạ ỳ");  // capital sharp s has no simple fold
  EXPECT_EQ(FoldCase("日本語"), "日本語");
}

TEST(CaseFoldTest, InvalidBytesPassUnchanged) {
  const std::string bytes = "A\xff\xc3(\xe2\x82Z\xed\xa0\x80";
  EXPECT_EQ(FoldCase(bytes), "a\xff\xc3(\xe2\x82z\xed\xa0\x80");
}

TEST(CaseFoldTest, WordCharactersAroundAPosition) {
  const std::string text = "a-é b—c";
  EXPECT_TRUE(IsWordCharAt(text, 0));
  EXPECT_FALSE(IsWordCharAt(text, 1));
  EXPECT_TRUE(IsWordCharAt(text, 2));
  EXPECT_TRUE(IsWordCharBefore(text, 4));   // after "é"
  EXPECT_FALSE(IsWordCharBefore(text, 5));  // after " "
  EXPECT_FALSE(IsWordCharBefore(text, 9));  // after the dash "—"
  EXPECT_EQ(Utf8SequenceLength(text, 2), 2u);
  EXPECT_EQ(Utf8SequenceLength("\xff", 0), 1u);
}

}  // namespace
}  // namespace webtessl
