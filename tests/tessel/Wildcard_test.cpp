#include "tessel/Wildcard.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace webtessl {
namespace {

TEST(WildcardTest, StarsAndQuestionMarks) {
  EXPECT_TRUE(TWildcard("*.txt").Matches("a.txt"));
  EXPECT_TRUE(TWildcard("*.txt").Matches(".txt"));
  EXPECT_FALSE(TWildcard("*.txt").Matches("a.txt.bak"));
  EXPECT_TRUE(TWildcard("a*b*c").Matches("abc"));
  EXPECT_TRUE(TWildcard("a*b*c").Matches("aXbYbZc"));
  EXPECT_FALSE(TWildcard("a*b*c").Matches("aXbYcZ"));
  EXPECT_TRUE(TWildcard("*").Matches(""));
  EXPECT_TRUE(TWildcard("").Matches(""));
  EXPECT_FALSE(TWildcard("").Matches("a"));
  EXPECT_TRUE(TWildcard("?").Matches("é"));  // one character of two bytes
  EXPECT_FALSE(TWildcard("??").Matches("é"));
  EXPECT_TRUE(TWildcard("*?*").Matches("x"));
  EXPECT_FALSE(TWildcard("*?*").Matches(""));
  EXPECT_TRUE(TWildcard("a*a").Matches("aa"));
  EXPECT_FALSE(TWildcard("a*a").Matches("a"));
  EXPECT_TRUE(TWildcard("*ab?").Matches("xxabab!"));
}

TEST(WildcardTest, LiteralsAndLengthsGuideTheSearch) {
  EXPECT_EQ(TWildcard("*report?2024*.pdf").LongestLiteral(), "report");
  EXPECT_EQ(TWildcard("*").LongestLiteral(), "");
  EXPECT_EQ(TWildcard("a*bc?d").MinLength(), 5u);
}

// Patterns with stars only at their ends are compared directly; the answers are those of the
// general matcher (a "?" or inner star forces it).
TEST(WildcardTest, PlainPatternsWithStarsAtTheEndsMatchAsTheyRead) {
  const std::vector<std::string> texts = {"", "a", "aa", "report.txt", "report.txt.bak",
                                          ".txt", "txt", "my report", "reportreport"};
  const std::vector<std::pair<std::string, std::vector<bool>>> cases = {
      {"*.txt", {false, false, false, true, false, true, false, false, false}},
      {"report*", {false, false, false, true, true, false, false, false, true}},
      {"*port*", {false, false, false, true, true, false, false, true, true}},
      {"report.txt", {false, false, false, true, false, false, false, false, false}},
      {"*aa", {false, false, true, false, false, false, false, false, false}},
      {"", {true, false, false, false, false, false, false, false, false}},
      {"*", {true, true, true, true, true, true, true, true, true}},
      {"**", {true, true, true, true, true, true, true, true, true}}};
  for (const auto& [pattern, expected] : cases) {
    for (size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(TWildcard(pattern).Matches(texts[i]), expected[i]) << pattern << " on " << texts[i];
      // The same pattern made general by an inner star that stands for nothing.
      if (pattern.size() > 2 && pattern != "**") {
        std::string general = pattern;
        general.insert(general.size() / 2, "*");
        if (general.find("**") == std::string::npos) {
          EXPECT_EQ(TWildcard(general).Matches(texts[i]) || !expected[i], true)
              << general << " must match all that " << pattern << " does: " << texts[i];
        }
      }
    }
  }
}

TEST(WildcardTest, PathologicalPatternsStayFast) {
  const std::string name(255, 'a');
  EXPECT_FALSE(TWildcard(std::string(100000, '*') + "b").Matches(name));
  std::string pattern;
  for (int i = 0; i < 120; ++i) pattern += "*a";
  EXPECT_TRUE(TWildcard(pattern + "*").Matches(name));
  EXPECT_FALSE(TWildcard(pattern + "*b").Matches(name));
}

// A "?" takes one whole character of however many bytes; the bytes of a cut sequence are
// characters of their own.
TEST(WildcardTest, QuestionMarksTakeWholeCharactersAnywhere) {
  EXPECT_TRUE(TWildcard("*a?b").Matches("xa\xC3\xA9" "b"));
  EXPECT_FALSE(TWildcard("*a?b").Matches("xa\xC3\xA9" "ab"));
  EXPECT_TRUE(TWildcard("*ab*abc").Matches("ababxabc"));
  EXPECT_TRUE(TWildcard("a?c*?").Matches("a\xE2\x82\xAC" "cd"));
  EXPECT_FALSE(TWildcard("a?c").Matches("a\xE2\x82" "c"));  // a cut sequence: two characters
  EXPECT_TRUE(TWildcard("a??c").Matches("a\xE2\x82" "c"));
}

// A long pattern (more positions than one machine word holds) of many pieces against long names.
TEST(WildcardTest, LongPatternsOfManyPiecesMatchExactly) {
  std::string pattern;
  for (int i = 0; i < 40; ++i) pattern += "*a?";
  const TWildcard wildcard(pattern + "*z");
  const std::string many(4000, 'a');
  for (int i = 0; i < 1000; ++i) EXPECT_FALSE(wildcard.Matches(many));
  EXPECT_TRUE(wildcard.Matches(many + "z"));
  EXPECT_FALSE(wildcard.Matches(std::string(79, 'a') + "z"));
  EXPECT_TRUE(wildcard.Matches(std::string(80, 'a') + "z"));
}

}  // namespace
}  // namespace webtessl
