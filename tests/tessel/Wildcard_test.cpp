#include "tessel/Wildcard.h"

#include <gtest/gtest.h>

#include <string>

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
