#include "http/HeaderValues.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace webtessl {
namespace {

std::vector<std::string> AllItems(std::string_view text, char delimiter) {
  std::vector<std::string> items;
  while (!text.empty()) items.push_back(NextItem(text, delimiter));
  return items;
}

struct TParam {
  std::string name;
  std::string value;
  bool operator==(const TParam&) const = default;
};

std::vector<TParam> AllParams(std::string_view text) {
  std::vector<TParam> params;
  std::string name;
  std::string value;
  while (NextParam(text, name, value)) params.push_back({name, value});
  return params;
}

TEST(NormalizeHeaderLineTest, InsertsOrCollapsesTheBlankAfterTheColon) {
  EXPECT_EQ(NormalizeHeaderLine("Host:example.org"), "Host: example.org");
  EXPECT_EQ(NormalizeHeaderLine("Content-length:1234"), "Content-length: 1234");
  EXPECT_EQ(NormalizeHeaderLine("Host :   example.org  "), "Host: example.org");
  EXPECT_EQ(NormalizeHeaderLine("  Host: example.org"), "Host: example.org");
  EXPECT_EQ(NormalizeHeaderLine("X-Empty:"), "X-Empty: ");
  EXPECT_EQ(NormalizeHeaderLine("X-Empty:   "), "X-Empty: ");
}

TEST(NormalizeHeaderLineTest, KeepsWellFormedAndColonlessLines) {
  EXPECT_EQ(NormalizeHeaderLine("Host: a:b"), "Host: a:b");
  EXPECT_EQ(NormalizeHeaderLine("Host:\tvalue"), "Host:\tvalue");
  EXPECT_EQ(NormalizeHeaderLine("no colon here  "), "no colon here");
  EXPECT_EQ(NormalizeHeaderLine(":starts with colon"), ":starts with colon");
  EXPECT_EQ(NormalizeHeaderLine(""), "");
  // Only the first colon counts, so a value holding colons is left alone.
  EXPECT_EQ(NormalizeHeaderLine("Date:Sun, 06 Nov 1994 08:49:37 GMT"),
            "Date: Sun, 06 Nov 1994 08:49:37 GMT");
}

TEST(TrimCopyTest, TrimsOnlyInsideThePiece) {
  EXPECT_EQ(TrimCopy("  abc  def", 0, 6), "abc");
  EXPECT_EQ(TrimCopy("ab   cd", 1, 4), "b");
  EXPECT_EQ(TrimCopy("abc", 1, 100), "bc");
  EXPECT_EQ(TrimCopy("abc", 3, 1), "");
  EXPECT_EQ(TrimCopy("abc", 7, 1), "");
}

TEST(FetchTrimmedTest, SplitsAtTheFirstDelimiterText) {
  std::string_view text = " key = value = more ";
  EXPECT_EQ(FetchTrimmed(text, "="), "key");
  EXPECT_EQ(text, "value = more");
  EXPECT_EQ(FetchTrimmed(text, "= "), "value");
  EXPECT_EQ(text, "more");
  EXPECT_EQ(FetchTrimmed(text, "="), "more");
  EXPECT_EQ(text, "");
}

TEST(NextItemTest, KeepsDelimitersInsideQuotedStrings) {
  EXPECT_EQ(AllItems("a, \"b, c\", d", ','), (std::vector<std::string>{"a", "\"b, c\"", "d"}));
  // An escaped quote does not end the string, so the comma after it is still quoted.
  EXPECT_EQ(AllItems(R"("x\", y", z)", ','), (std::vector<std::string>{R"("x\", y")", "z"}));
  // Outside quotes a backslash is an ordinary character.
  EXPECT_EQ(AllItems(R"(a\,b)", ','), (std::vector<std::string>{R"(a\)", "b"}));
}

TEST(NextItemTest, RunsOfDelimitersAndUnclosedQuotes) {
  EXPECT_EQ(AllItems(",,a", ','), (std::vector<std::string>{"", "a"}));
  EXPECT_EQ(AllItems("a,, ,b,", ','), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(AllItems("a, \"b, c", ','), (std::vector<std::string>{"a", "\"b, c"}));
  EXPECT_EQ(AllItems(" only ", ','), (std::vector<std::string>{"only"}));
}

TEST(NextParamTest, BareValueThenQuotedFilename) {
  EXPECT_EQ(AllParams(R"(form-data; filename="a \"b\" c\\d.txt")"),
            (std::vector<TParam>{{"", "form-data"}, {"filename", R"(a "b" c\d.txt)"}}));
}

TEST(NextParamTest, UnquotedValuesEndAtCommaOrSemicolon) {
  EXPECT_EQ(AllParams("a=1, b = 2 ;c=;d"),
            (std::vector<TParam>{{"a", "1"}, {"b", "2"}, {"c", ""}, {"", "d"}}));
  // Backslashes in unquoted values stay.
  EXPECT_EQ(AllParams(R"(p=a\b)"), (std::vector<TParam>{{"p", R"(a\b)"}}));
}

TEST(NextParamTest, StrayQuotesAndSeparatorsAlwaysMakeProgress) {
  EXPECT_EQ(AllParams(R"(abc"def")"), (std::vector<TParam>{{"", "abc"}, {"", "def"}}));
  EXPECT_EQ(AllParams(";;x=1"), (std::vector<TParam>{{"", ""}, {"", ""}, {"x", "1"}}));
  EXPECT_EQ(AllParams(R"(n="unclosed ; value)"), (std::vector<TParam>{{"n", "unclosed ; value"}}));
  EXPECT_EQ(AllParams(R"(n="ends in escape\)"), (std::vector<TParam>{{"n", "ends in escape"}}));
  std::string_view blank = "   ";
  std::string name = "x";
  std::string value = "y";
  EXPECT_FALSE(NextParam(blank, name, value));
  EXPECT_EQ(name, "");
  EXPECT_EQ(value, "");
}

TEST(FindParamTest, FindsNamedParametersOnly) {
  EXPECT_EQ(FindParam("multipart/form-data; boundary=----xyz", "BOUNDARY"), "----xyz");
  EXPECT_EQ(FindParam(R"(attachment; filename=" my file.txt ")", "filename"), "my file.txt");
  EXPECT_EQ(FindParam("a=1; b=2", "c"), "");
  // Bare values never match, not even an empty name.
  EXPECT_EQ(FindParam("bare; x=1", ""), "");
  // The name must be the whole parameter name.
  EXPECT_EQ(FindParam("xboundary=1; boundary=2", "boundary"), "2");
}

TEST(QuoteStringTest, EscapesQuotesAndBackslashesAndRoundTrips) {
  EXPECT_EQ(QuoteString(R"(a"b\c)"), R"("a\"b\\c")");
  EXPECT_EQ(QuoteString(""), "\"\"");
  const std::string original = R"(x;y, "z" \ w)";
  EXPECT_EQ(FindParam("p=" + QuoteString(original), "p"), original);
}

}  // namespace
}  // namespace webtessl
