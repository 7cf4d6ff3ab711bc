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
  EXPECT_EQ(FoldCase("Ạ Ỳ"), "ạ ỳ");
  EXPECT_EQ(FoldCase("日本語"), "日本語");
}

TEST(CaseFoldTest, FoldsEveryScriptBySimpleFolding) {
  EXPECT_EQ(FoldCase("STRAẞE"), "straße");                 // capital sharp s, shorter fold
  EXPECT_EQ(FoldCase("ἈΘΉΝΑ"), FoldCase("ἀθήνα"));        // polytonic Greek
  EXPECT_EQ(FoldCase("ἈΘΉΝΑ"), "ἀθήνα");
  EXPECT_EQ(FoldCase("ＡＢＣ"), "ａｂｃ");                  // fullwidth Latin
  EXPECT_EQ(FoldCase("\u212A\u2126"), "kω");              // Kelvin and Ohm signs
  EXPECT_EQ(FoldCase("ԱՐԱՐԱՏ 𐐀"), "արարատ 𐐨");  // Armenian, Deseret
  EXPECT_EQ(FoldCase("Ꮳ"), FoldCase("ꮳ"));          // Cherokee folds to its capitals
  EXPECT_EQ(FoldCase("ǅ ǈ"), "ǆ ǉ");                       // title-case digraphs
  EXPECT_EQ(FoldCase("ß ﬀ"), "ß ﬀ");  // only full folding would expand these
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

// Letters, marks and numbers of any script join a word; symbols, punctuation and emoji split it.
TEST(CaseFoldTest, WordCharactersFollowTheGeneralCategory) {
  const auto after = [](std::string_view text) { return IsWordCharAt(text, 6); };
  EXPECT_FALSE(after("report€.txt"));
  EXPECT_FALSE(after("report，final.txt"));  // fullwidth comma
  EXPECT_FALSE(after("report😀"));
  EXPECT_FALSE(after("report©"));
  EXPECT_FALSE(after("report\u00A0x"));  // no-break space
  EXPECT_TRUE(after("report²"));          // a number
  EXPECT_TRUE(after("report\u0301"));    // a combining accent
  EXPECT_TRUE(after("reportж"));
  EXPECT_TRUE(after("report日"));
  EXPECT_TRUE(after("report\u0663"));    // Arabic-Indic digit
  EXPECT_FALSE(IsWordCharBefore("😀report", 4));
  EXPECT_TRUE(IsWordCharBefore("Ωreport", 2));
}

}  // namespace
}  // namespace webtessl
